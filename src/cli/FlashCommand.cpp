#include "cli/FlashCommand.h"

#include "cli/CliSession.h"
#include "cli/ConnectionArguments.h"
#include "cli/ExitCodes.h"
#include "cli/OperationSupport.h"
#include "cli/UsageError.h"
#include "core/FlashRestart.h"

namespace {

const char* kHelp =
    "Usage: velkor-cli flash FILE CONNECTION [OPTIONS]\n"
    "Flashes FILE (Motorola S-records) into the controller through its bootloader: waits for\n"
    "the controller's restart banner, checks its device type against the signature in the\n"
    "file's header, enters the bootloader and sends the file record by record.\n"
    "Restart the controller (power or reset) after starting the command, or let the loader\n"
    "restart it:\n"
    "  --restart HOW              command: send \"RESET\" to the controller's command\n"
    "                             interpreter (any link); dtr or rts: a 100 ms pulse on that\n"
    "                             line of the serial port (--serial only), for adapters wired\n"
    "                             to the reset pin; none (the default): a person restarts it\n"
    "  --reset-wait SECONDS       how long to wait for the restart (default 120; 0 waits\n"
    "                             until cancelled, as the window does)\n"
    "  --end-wait SECONDS         how long to wait for the bootloader to confirm the end of\n"
    "                             programming once every record was taken (default 10)\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 programmed, 64 usage, 65 file refused, 69 connection failed,\n"
    "75 the device stopped answering (or did not restart in time, or did not confirm the end),\n"
    "76 signature mismatch or a record refused by the bootloader,\n"
    "130 cancelled (Ctrl-C).\n\n";

constexpr int kDefaultResetWaitSeconds = 120;
constexpr int kDefaultEndWaitSeconds = 10;

struct FlashArguments : ConnectionBasics {
    QString file;
    int resetWaitSeconds = kDefaultResetWaitSeconds;
    int endWaitSeconds = kDefaultEndWaitSeconds;
    FlashRestart::Kind restart = FlashRestart::None;
};

// --restart: a pulse on a modem line needs a serial port.
FlashRestart::Kind restartOf(const QString& text, CommonOptions::Link link) {
    const std::optional<FlashRestart::Kind> kind = FlashRestart::parse(text);
    if (!kind) {
        throw UsageError(
            QStringLiteral("--restart: \"%1\" is not none, command, dtr or rts").arg(text));
    }
    if ((*kind == FlashRestart::Dtr || *kind == FlashRestart::Rts) &&
        link != CommonOptions::Link::Serial) {
        throw UsageError(QStringLiteral("--restart %1 pulses a line of the serial port: it needs "
                                        "--serial (use --restart command over TCP or the broker)")
                             .arg(text));
    }
    return *kind;
}

int secondsOf(const QString& option, const QString& text, int lowest) {
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (!ok || seconds < lowest || seconds > 86400) {
        throw UsageError(QStringLiteral("--%1: \"%2\" is not a number of seconds (%3 to 86400)")
                             .arg(option, text)
                             .arg(lowest));
    }
    return seconds;
}

FlashArguments parse(const QStringList& arguments) {
    const ConnectionArguments read(
        arguments,
        {{QStringLiteral("reset-wait"), QStringLiteral("Restart wait."), QStringLiteral("SECONDS")},
         {QStringLiteral("end-wait"), QStringLiteral("End confirmation wait."),
          QStringLiteral("SECONDS")},
         {QStringLiteral("restart"), QStringLiteral("Restart by the loader."),
          QStringLiteral("HOW")}},
        ConnectionArguments::Dashes::Grouped);
    auto parsed = read.start<FlashArguments>();
    if (parsed.help) {
        return parsed;
    }
    if (read.isSet(QStringLiteral("reset-wait"))) {
        parsed.resetWaitSeconds =
            secondsOf(QStringLiteral("reset-wait"), read.value(QStringLiteral("reset-wait")), 0);
    }
    if (read.isSet(QStringLiteral("end-wait"))) {
        parsed.endWaitSeconds =
            secondsOf(QStringLiteral("end-wait"), read.value(QStringLiteral("end-wait")), 1);
    }
    if (read.isSet(QStringLiteral("restart"))) {
        parsed.restart = restartOf(read.value(QStringLiteral("restart")), parsed.options.link);
    }
    const QStringList files = read.positional();
    if (files.size() != 1) {
        throw UsageError(QStringLiteral("name one firmware FILE"));
    }
    parsed.file = files.first();
    read.requireLink();
    return parsed;
}

CliResult runFlash(const QStringList& arguments, const RunFlags& flags) {
    const FlashArguments parsed = parse(arguments);
    if (parsed.help) {
        return connectionHelp(kHelp);
    }
    CliSession session(parsed.options, parsed.quiet || flags.quiet);
    const QString name = QStringLiteral("flash");
    if (auto refused = OperationSupport::selectFirmware(session, name, parsed.file)) {
        return *refused;
    }
    session.setEndWaitOnDisconnect(true);
    OperationRequest request = OperationSupport::request(session, Operation::Flash);
    request.flash.restart = parsed.restart;
    request.flash.endOnFailure = true;
    request.flash.resetWaitMs = std::int64_t(parsed.resetWaitSeconds) * 1000;
    request.flash.endWaitMs = std::int64_t(parsed.endWaitSeconds) * 1000;
    CliResult result = OperationSupport::runOperation(session, name, request);
    if (result.exitCode != kExitUsage && result.outcome != QStringLiteral("connection-failed")) {
        result.output = result.status.toLocal8Bit() + '\n';
    }
    session.endOperation();
    return result;
}

} // namespace

Subcommand flashSubcommand() {
    Subcommand flash{QStringLiteral("flash"),
                     QStringLiteral("flash a firmware file through the controller's bootloader"),
                     runFlash};
    flash.operands = [](const QStringList& arguments) {
        return QStringList{parse(arguments).file};
    };
    flash.firmwareOperand = true;
    return flash;
}
