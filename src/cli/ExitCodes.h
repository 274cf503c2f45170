#pragma once

#include "core/OperationResult.h"

#include <QString>

// Exit codes of velkor-cli, in the style of sysexits.h; the same for every subcommand.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 64,          // bad command line, or a question no flag answered
    kExitDataErr = 65,        // the firmware file was refused
    kExitUnavailable = 69,    // the connection could not be opened
    kExitSoftware = 70,       // an internal error
    kExitIoErr = 74,          // a file could not be read or written
    kExitTempFail = 75,       // the device stopped answering
    kExitProtocol = 76,       // signature mismatch or a refusal by the device
    kExitRolloutStopped = 79, // a fleet's rollout left ids not started (a wave, too many failures)
    kExitCancelled = 130,     // cancelled with Ctrl-C
    kExitTerminated = 143,    // cancelled with SIGTERM (128 + 15)
    kExitHungUp = 129,        // cancelled with SIGHUP (128 + 1)
};

// The exit code of an operation's outcome: one mapping for every subcommand.
int exitCodeOf(Outcome outcome);

// The outcome word of an exit code in the result object of --json ("success", "usage" ...).
QString exitCodeName(int code);

// The table of exit codes for --help.
QString exitCodeHelp();
