// Upload speed into storage memory against the simulator over loopback. Every piece is one
// "PAGEWRITE" exchange, complete only after three quiet 10 ms ticks, so about 30 ms per piece
// is the floor the protocol sets; the loader's own share is what it adds above that.
#include "BenchSupport.h"
#include "LoaderRig.h"
#include "procedures/Procedures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr double kFloorMs = 30.0;

// Times the text writes from the first "PAGEWRITE" to the descriptor's "PAGENUM 70".
void uploadSpeed(int records, const QString& idleGap) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.s37"));
    Bench::writeFirmware(file, records, "UNIT:LUMET52 v2.0 bench");
    Bench::Simulator sim = Bench::startSimulator(
        {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--idle-gap"), idleGap});

    Bench::LoaderRig rig;
    rig.useTcp(sim.tcpPort);
    rig.loader.state.OperationMode = kModeStore;
    rig.loader.state.FirmwareFilePath = file;
    QElapsedTimer clock;
    double ms = 0;
    double cpu0 = 0;
    double cpu = 0;
    int pieces = 0;
    rig.loader.onTerminalLine = [&](const QByteArray& line) {
        if (line.startsWith("PAGEWRITE ") && ms == 0 && pieces++ == 0) {
            clock.start();
            cpu0 = Bench::cpuMilliseconds();
        } else if (line == "PAGENUM 70" && pieces > 0 && ms == 0) {
            ms = double(clock.elapsed());
            cpu = Bench::cpuMilliseconds() - cpu0;
        }
    };
    rig.loader.driver.btnConnectClick();
    const bool ok = rig.procedures.store.outcome() == StorageLoadProcedure::Outcome::Completed;
    std::printf("store (simulator command gap %s ms): %d pieces in %.0f ms: %.1f ms per piece, "
                "%.2f x the %.0f ms floor; loader processor time %.1f %% of one core%s\n",
                qPrintable(idleGap), pieces, ms, ms / pieces, ms / pieces / kFloorMs, kFloorMs,
                100.0 * cpu / ms, ok ? "" : "  (FAILED)");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 1100;
    // 1 ms: the simulator takes a command as soon as the loader's write is complete.
    uploadSpeed(records, QStringLiteral("1"));
    // 15 ms: the simulator's default wait for the end of a command sent without a line end.
    uploadSpeed(records, QStringLiteral("15"));
    return 0;
}
