// Flashing speed against the simulator over loopback, and the processor time the loader uses
// while it waits for a silent device. One record is in flight and an answer is complete only
// after three quiet 10 ms ticks, so about 30 ms per record is the floor the protocol sets.
#include "BenchSupport.h"
#include "LoaderRig.h"
#include "procedures/Procedures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

constexpr double kFloorMs = 30.0;

void flashSpeed(int records) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.s37"));
    Bench::writeFirmware(file, records, "UNIT:LUMET52 bench");
    Bench::Simulator sim =
        Bench::startSimulator({QStringLiteral("--tcp"), QStringLiteral("0"),
                               QStringLiteral("--banner-interval"), QStringLiteral("50")});

    Bench::LoaderRig rig;
    rig.useTcp(sim.tcpPort);
    rig.loader.state.FirmwareFilePath = file;
    rig.loader.form.edtUnitSign.text = QStringLiteral("UNIT:LUMET52 bench");
    QElapsedTimer programming;
    rig.loader.onStatus = [&](int panel, const QString& text) {
        if (panel == 3 && text == QStringLiteral("Идет программирование устройства...")) {
            programming.start();
        }
    };
    rig.loader.driver.btnConnectClick();
    const double ms = double(programming.elapsed());
    const int lines = records + 2;
    const bool ok = rig.procedures.flash.outcome() == FlashProcedure::Outcome::Success;
    std::printf("flash: %d records in %.0f ms: %.1f ms per record, %.2f x the %.0f ms floor%s\n",
                lines, ms, ms / lines, ms / lines / kFloorMs, kFloorMs, ok ? "" : "  (FAILED)");
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
    rig.loader.driver.setProcedure(kModeFlash, [&] {
        const double cpu0 = Bench::cpuMilliseconds();
        QElapsedTimer wall;
        wall.start();
        rig.loader.exchange.SendCommand("VER");
        cpu = Bench::cpuMilliseconds() - cpu0;
        waited = wall.elapsed();
        return Verdict{};
    });
    rig.loader.driver.btnConnectClick();
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
    flashSpeed(records);
    silentDeviceCpu(10);
    return 0;
}
