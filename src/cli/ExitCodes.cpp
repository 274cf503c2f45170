#include "cli/ExitCodes.h"

int exitCodeOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Success:
        return kExitOk;
    case Outcome::Cancelled:
        return kExitCancelled;
    case Outcome::FileRefused:
    case Outcome::ChecksumMismatch:
    case Outcome::NothingStored:
        return kExitDataErr;
    case Outcome::NotFound:
    case Outcome::ConnectionFailed:
        return kExitUnavailable;
    case Outcome::FileError:
        return kExitIoErr;
    case Outcome::Refused:
        return kExitProtocol;
    case Outcome::Damaged:
    case Outcome::Flooded:
    case Outcome::Unconfirmed:
    case Outcome::LinkLost:
    case Outcome::NoAnswer:
    case Outcome::Error:
        break;
    }
    return kExitTempFail;
}

QString exitCodeName(int code) {
    switch (code) {
    case kExitOk:
        return QStringLiteral("success");
    case kExitUsage:
        return QStringLiteral("usage");
    case kExitDataErr:
        return QStringLiteral("file-refused");
    case kExitUnavailable:
        return QStringLiteral("connection-failed");
    case kExitSoftware:
        return QStringLiteral("internal-error");
    case kExitIoErr:
        return QStringLiteral("file-error");
    case kExitTempFail:
        return QStringLiteral("no-answer");
    case kExitProtocol:
        return QStringLiteral("refused");
    case kExitRolloutStopped:
        return QStringLiteral("not-started");
    case kExitCancelled:
    case kExitTerminated:
    case kExitHungUp:
        return QStringLiteral("cancelled");
    default:
        return QStringLiteral("failed");
    }
}

QString exitCodeHelp() {
    return QStringLiteral(
        "Exit codes:\n"
        "  0    success\n"
        "  64   usage error (also: a question that no option answered)\n"
        "  65   the firmware file was refused (or a read-back did not match)\n"
        "  69   the connection could not be opened (or the broker has no such id)\n"
        "  74   a file could not be read or written (also the journal entry: the\n"
        "       operation may have succeeded, its record did not)\n"
        "  75   the device stopped answering, or the connection was lost (also a\n"
        "       fleet's id still running at its --deadline)\n"
        "  76   signature mismatch or refusal by the device\n"
        "  79   a fleet's rollout stopped: a stage of --wave failed or reached\n"
        "       --max-failures, and ids were left not started\n"
        "  130  cancelled (Ctrl-C); 143 SIGTERM, 129 SIGHUP\n"
        "The codes are the same for every subcommand. A fleet (--id with several\n"
        "ids) exits 0 when every id succeeded, 128 + the signal when one stopped it,\n"
        "79 when its rollout rules left ids not started, else with the code of the\n"
        "first id, in the order given, that failed.\n");
}
