#pragma once

#include "Dialect.h"
#include "TargetedFault.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace devsim {

// Faults the simulator injects on purpose. A count N means "every Nth"; 0 switches it off.
struct FaultOptions {
    std::uint32_t seed = 1;
    int dropEvery = 0;         // drop the answer to every Nth command
    double dropRate = 0.0;     // drop the answer to this fraction of commands (0..1)
    int delayMs = 0;           // pause before every answer
    int jitterMs = 0;          // extra random pause 0..jitter before every answer
    int split = 1;             // answer pieces
    int gapMs = 0;             // pause between answer pieces
    int wrongCounterEvery = 0; // report a wrong line counter on every Nth page write
    int closeAfterWrites = 0;  // close the connection at the Nth page write of a connection
    int garbageEvery = 0;      // garbage bytes after every Nth answer
    int badCrcEvery = 0;       // broker: every Nth frame with a damaged CRC
    int splitFrameEvery = 0;   // broker: every Nth frame written in two parts
    int frameGapMs = 50;       // broker: pause between the two parts of a split frame
    int doubleFrameEvery = 0;  // broker: every Nth answer as two frames in one write
    // Single answers hit on purpose (--fault), how late a "late" one comes and how far apart
    // the halves of a "cut" one come.
    QList<TargetedFault> targeted;
    int lateMs = 1500;
    int cutGapMs = 100;
};

// What the simulated controller says about itself and how it behaves.
struct ControllerOptions {
    QByteArray unitType = "LUMET52";
    QByteArray version = "3.14";
    QByteArray password; // empty: "PASSWORD" answers "granted"
    int bannerIntervalMs = 1000;
    int resetDelayMs = 200;
    int pages = 4096;
    Dialect dialect;
};

struct SimOptions {
    QString bindAddress = "127.0.0.1";
    std::optional<int> tcpPort;
    std::optional<int> brokerPort;
    bool pty = false;
    QList<std::uint32_t> ids{1};
    QList<std::uint32_t> refuseIds; // broker controllers that refuse every write
    int idleGapMs = 15;
    int paceBaud = 0; // both directions at the speed of a serial line; 0: at once
    QString storagePath;
    QString imageOutPath;
    QString programmedPath;      // --programmed: one line per programming that ended
    QStringList dialectFeatures; // --dialect as given, applied to controller.dialect
    ControllerOptions controller;
    FaultOptions faults;
};

struct ParseResult {
    enum class Kind { Run, Help, Error };
    Kind kind = Kind::Run;
    SimOptions options;
    QString message; // the help text or the error
};

// Reads the command line (arguments without the program name).
ParseResult parseOptions(const QStringList& arguments);

} // namespace devsim
