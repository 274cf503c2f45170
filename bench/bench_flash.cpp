// Flashing speed against the simulator over loopback, in the normal and the fast exchange, and
// on a line paced like a serial line of 115200 baud; and the processor time the loader uses
// while it waits for a silent device. One record is in flight. In the normal exchange an
// answer is complete only after three quiet 10 ms ticks, so about 30 ms per record is the floor
// the protocol sets; the fast exchange ends the wait at the answer's acknowledgement, and on a
// paced line its floor is the time the record and its answer take on the wire.
#include "BenchSupport.h"
#include "LoaderRig.h"
#include "procedures/Procedures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

constexpr double kFloorMs = 30.0;
constexpr int kBaud = 115200;

struct FlashRun {
    double msPerRecord = 0;
    double lineMsPerRecord = 0; // the wire time of a record and its answer at kBaud
    bool ok = false;
};

// Bytes on the wire for the file's records at kBaud, 10 bits a byte: each line and its CR out,
// and its answer back ("w" or "@" for a data record, "\r\nOK\r\n" for the end record).
double lineMsPerRecord(const QString& file, int& lines) {
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    qint64 bytes = 0;
    lines = 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QByteArray record = line.trimmed();
        if (!record.isEmpty()) {
            bytes += record.size() + 1 + (record.startsWith("S7") ? 6 : 1);
            ++lines;
        }
    }
    return double(bytes) * 10.0 * 1000.0 / kBaud / lines;
}

FlashRun flashSpeed(int records, bool fast, bool paced) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.s37"));
    Bench::writeFirmware(file, records, "UNIT:LUMET52 bench");
    QStringList arguments{QStringLiteral("--tcp"), QStringLiteral("0"),
                          QStringLiteral("--banner-interval"), QStringLiteral("50")};
    if (paced) {
        arguments << QStringLiteral("--pace") << QString::number(kBaud);
    }
    Bench::Simulator sim = Bench::startSimulator(arguments);

    Bench::LoaderRig rig;
    rig.useTcp(sim.tcpPort);
    rig.loader.choices.fastExchange = fast;
    rig.loader.state.FirmwareFilePath = file;
    rig.header = QStringLiteral("UNIT:LUMET52 bench");
    QElapsedTimer programming;
    rig.loader.onStatus = [&](int panel, const QString& text) {
        if (panel == 3 && text == QStringLiteral("Идет программирование устройства...")) {
            programming.start();
        }
    };
    rig.run(Operation::Flash);
    FlashRun run;
    int lines = 0;
    run.lineMsPerRecord = lineMsPerRecord(file, lines);
    run.msPerRecord = double(programming.elapsed()) / lines;
    run.ok = rig.procedures.flash.verdict().succeeded();
    return run;
}

const char* failed(const FlashRun& run) {
    return run.ok ? "" : "  (FAILED)";
}

void flashSpeeds(int records) {
    const FlashRun normal = flashSpeed(records, false, false);
    const FlashRun fast = flashSpeed(records, true, false);
    const FlashRun pacedFast = flashSpeed(records, true, true);
    const FlashRun pacedNormal = flashSpeed(records, false, true);
    std::printf("flash normal: %d records: %.1f ms per record, %.2f x the %.0f ms floor%s\n",
                records + 2, normal.msPerRecord, normal.msPerRecord / kFloorMs, kFloorMs,
                failed(normal));
    std::printf("flash fast: %d records: %.2f ms per record, %.1f x faster than normal%s\n",
                records + 2, fast.msPerRecord, normal.msPerRecord / fast.msPerRecord, failed(fast));
    std::printf("flash paced %d baud, fast: %.2f ms per record, %.2f x the line time of "
                "%.2f ms%s\n",
                kBaud, pacedFast.msPerRecord, pacedFast.msPerRecord / pacedFast.lineMsPerRecord,
                pacedFast.lineMsPerRecord, failed(pacedFast));
    std::printf("flash paced %d baud, normal: %.2f ms per record, %.2f x the %.0f ms floor%s\n",
                kBaud, pacedNormal.msPerRecord, pacedNormal.msPerRecord / kFloorMs, kFloorMs,
                failed(pacedNormal));
}

// The processor share of a loop that does nothing but sleep 1 ms per pass, as the answer wait
// does: the floor of the wait's own figure on this machine.
double bareSleepLoopShare(int milliseconds) {
    const double cpu0 = Bench::cpuMilliseconds();
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < milliseconds) {
        QThread::msleep(1);
    }
    return 100.0 * (Bench::cpuMilliseconds() - cpu0) / double(wall.elapsed());
}

void silentDeviceCpu(int seconds) {
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost);
    Bench::LoaderRig rig;
    rig.useTcp(silent.serverPort());
    rig.loader.setAnswerTimeout(seconds * 1000);
    rig.loader.state.AttemptLimit = 1;
    double cpu = 0;
    qint64 waited = 0;
    rig.loader.driver.setProcedure(Operation::Flash, [&] {
        const double cpu0 = Bench::cpuMilliseconds();
        QElapsedTimer wall;
        wall.start();
        rig.loader.exchange.SendCommand("VER");
        cpu = Bench::cpuMilliseconds() - cpu0;
        waited = wall.elapsed();
        return Verdict{};
    });
    rig.run(Operation::Flash);
    const double share = 100.0 * cpu / double(waited);
    const double bare = bareSleepLoopShare(3000);
    std::printf("silent device: %lld ms answer wait used %.0f ms of processor time: "
                "%.2f %% of one core; a bare 1 ms sleep loop: %.2f %% (%.2f x)\n",
                waited, cpu, share, bare, share / bare);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 600;
    flashSpeeds(records);
    silentDeviceCpu(10);
    return 0;
}
