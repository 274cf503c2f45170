// Upload speed into storage memory against the simulator over loopback, in the normal and the
// fast exchange. Every piece is one "PAGEWRITE" exchange. In the normal exchange it is complete
// only after three quiet 10 ms ticks, so about 30 ms per piece is the floor the protocol sets;
// the fast exchange ends it at the answer's line end. The simulator takes a command sent without
// a line end after its idle gap: 1 ms, and its default of 15 ms.
#include "BenchSupport.h"
#include "LoaderRig.h"
#include "procedures/Procedures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr double kFloorMs = 30.0;

struct StoreRun {
    int pieces = 0;
    double msPerPiece = 0;
    double cpuShare = 0; // of one core, in per cent
    bool ok = false;
};

// Times the text writes from the first "PAGEWRITE" to the descriptor's "PAGENUM 70".
StoreRun uploadSpeed(int records, const QString& idleGap, bool fast) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.s37"));
    Bench::writeFirmware(file, records, "UNIT:LUMET52 v2.0 bench");
    Bench::Simulator sim = Bench::startSimulator(
        {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--idle-gap"), idleGap});

    Bench::LoaderRig rig;
    rig.useTcp(sim.tcpPort);
    rig.loader.choices.fastExchange = fast;
    rig.loader.state.FirmwareFilePath = file;
    QElapsedTimer clock;
    double ms = 0;
    double cpu0 = 0;
    double cpu = 0;
    StoreRun run;
    rig.loader.onTerminalLine = [&](const QByteArray& line) {
        if (line.startsWith("PAGEWRITE ") && ms == 0 && run.pieces++ == 0) {
            clock.start();
            cpu0 = Bench::cpuMilliseconds();
        } else if (line == "PAGENUM 70" && run.pieces > 0 && ms == 0) {
            ms = double(clock.elapsed());
            cpu = Bench::cpuMilliseconds() - cpu0;
        }
    };
    rig.run(Operation::Store);
    run.ok = rig.procedures.store.verdict().succeeded();
    run.msPerPiece = ms / run.pieces;
    run.cpuShare = 100.0 * cpu / ms;
    return run;
}

void compare(int records, const QString& idleGap) {
    const StoreRun normal = uploadSpeed(records, idleGap, false);
    const StoreRun fast = uploadSpeed(records, idleGap, true);
    std::printf("store normal (simulator command gap %s ms): %d pieces: %.1f ms per piece, "
                "%.2f x the %.0f ms floor; loader processor time %.1f %% of one core%s\n",
                qPrintable(idleGap), normal.pieces, normal.msPerPiece, normal.msPerPiece / kFloorMs,
                kFloorMs, normal.cpuShare, normal.ok ? "" : "  (FAILED)");
    std::printf("store fast (simulator command gap %s ms): %d pieces: %.2f ms per piece, "
                "%.1f x faster than normal; loader processor time %.1f %% of one core%s\n",
                qPrintable(idleGap), fast.pieces, fast.msPerPiece,
                normal.msPerPiece / fast.msPerPiece, fast.cpuShare, fast.ok ? "" : "  (FAILED)");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 1100;
    // 1 ms: the simulator takes a command as soon as the loader's write is complete.
    compare(records, QStringLiteral("1"));
    // 15 ms: the simulator's default wait for the end of a command sent without a line end.
    compare(records, QStringLiteral("15"));
    return 0;
}
