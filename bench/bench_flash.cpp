// Flashing speed against the simulator over loopback, and the processor time the loader uses
// while it waits for a silent device. One record is in flight and an answer is complete only
// after three quiet 10 ms ticks, so about 30 ms per record is the floor the protocol sets.
#include "BenchSupport.h"
#include "connections/Connections.h"
#include "core/Loader.h"
#include "core/QtRuntime.h"
#include "procedures/Procedures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr double kFloorMs = 30.0;

struct LoaderRig {
    QtRuntime runtime;
    Bench::SilentDialogs dialogs;
    QTemporaryDir dataDir;
    Loader loader{runtime, dialogs, dataDir.path()};
    Connections connections{loader};
    Procedures procedures{loader};

    LoaderRig() { loader.links = &connections; }
    void useTcp(quint16 port) {
        loader.form.ToolButton1.imageIndex = kIconTcp;
        loader.form.TypeOfConnectGrpPage = kTcp;
        loader.form.IPEdit.text = QStringLiteral("127.0.0.1");
        loader.form.PortNum.text = QString::number(port);
    }
};

void flashSpeed(int records) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.s37"));
    Bench::writeFirmware(file, records, "UNIT:LUMET52 bench");
    Bench::Simulator sim =
        Bench::startSimulator({QStringLiteral("--tcp"), QStringLiteral("0"),
                               QStringLiteral("--banner-interval"), QStringLiteral("50")});

    LoaderRig rig;
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

void silentDeviceCpu(int seconds) {
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost);
    LoaderRig rig;
    rig.useTcp(silent.serverPort());
    rig.loader.setAnswerTimeout(seconds * 1000);
    rig.loader.state.AttemptLimit = 1;
    rig.loader.driver.setProcedure(kModeFlash, [&] {
        const double cpu0 = Bench::cpuMilliseconds();
        QElapsedTimer wall;
        wall.start();
        rig.loader.exchange.SendCommand("VER");
        const double cpu = Bench::cpuMilliseconds() - cpu0;
        std::printf("silent device: %lld ms answer wait used %.0f ms of processor time: "
                    "%.2f %% of one core\n",
                    wall.elapsed(), cpu, 100.0 * cpu / double(wall.elapsed()));
    });
    rig.loader.driver.btnConnectClick();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 600;
    flashSpeed(records);
    silentDeviceCpu(10);
    return 0;
}
