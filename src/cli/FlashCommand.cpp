#include "cli/FlashCommand.h"

#include "cli/CliSession.h"
#include "cli/ConnectionArguments.h"
#include "cli/ExitCodes.h"
#include "cli/OperationSupport.h"
#include "cli/ShellOutput.h"
#include "cli/ShellPlatform.h"
#include "cli/UsageError.h"
#include "cli/VersionQuery.h"
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
    "  --skip-version TEXT        ask the controller's version first (\"VER\", as the version\n"
    "                             subcommand does, with its journal entry) and flash only when\n"
    "                             it does not hold TEXT; a controller already running it is\n"
    "                             skipped as a success (outcome \"skipped\"). A controller that\n"
    "                             does not answer VER is flashed\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 programmed (or skipped), 64 usage, 65 file refused, 69 connection failed,\n"
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
    QString skipVersion; // empty: flash without asking
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
          QStringLiteral("HOW")},
         {QStringLiteral("skip-version"), QStringLiteral("Skip a controller running it."),
          QStringLiteral("TEXT")}},
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
    if (read.isSet(QStringLiteral("skip-version"))) {
        parsed.skipVersion = read.value(QStringLiteral("skip-version"));
        if (parsed.skipVersion.isEmpty()) {
            throw UsageError(QStringLiteral("--skip-version needs the text of a version"));
        }
    }
    const QStringList files = read.positional();
    if (files.size() != 1) {
        throw UsageError(QStringLiteral("name one firmware FILE"));
    }
    parsed.file = files.first();
    read.requireLink();
    return parsed;
}

// --skip-version: the version query's result when the flash is not to run, because the
// controller already runs the version, or a stop came (a signal, or its fleet drains) while
// it was asked. Empty: flash.
Task<std::optional<CliResult>> skippedByVersion(CliSession& session, QString text) {
    VersionQuery::Asked asked = co_await VersionQuery::ask(session);
    CliResult& result = asked.result;
    if (asked.version && VersionQuery::holds(*asked.version, text)) {
        result.outcome = QStringLiteral("skipped");
        result.status =
            QStringLiteral("not flashed: the controller runs \"%1\", which holds \"%2\"")
                .arg(*asked.version, text);
        result.output = result.status.toLocal8Bit() + '\n';
        ShellOutput::report(QStringLiteral("flash"), result.status);
        co_return result;
    }
    if (!session.interrupted() && session.drainSignal() == 0) {
        co_return std::nullopt;
    }
    result.exitCode = session.interrupted()
                          ? session.interruptedExitCode()
                          : ShellPlatform::exitCodeForSignal(session.drainSignal());
    result.outcome = QStringLiteral("cancelled");
    result.status = QStringLiteral("not flashed: stopped while the version was asked");
    result.output.clear();
    co_return result;
}

Task<CliResult> runFlash(QStringList arguments, RunFlags flags) {
    const FlashArguments parsed = parse(arguments);
    if (parsed.help) {
        co_return connectionHelp(kHelp);
    }
    CliSession session(parsed.options, parsed.quiet || flags.quiet);
    const QString name = QStringLiteral("flash");
    if (auto refused = OperationSupport::selectFirmware(session, name, parsed.file)) {
        co_return *refused;
    }
    if (!parsed.skipVersion.isEmpty()) {
        if (auto skipped = co_await skippedByVersion(session, parsed.skipVersion)) {
            co_return *skipped;
        }
    }
    session.setEndWaitOnDisconnect(true);
    OperationRequest request = OperationSupport::request(session, Operation::Flash);
    request.flash.restart = parsed.restart;
    request.flash.endOnFailure = true;
    request.flash.resetWaitMs = std::int64_t(parsed.resetWaitSeconds) * 1000;
    request.flash.endWaitMs = std::int64_t(parsed.endWaitSeconds) * 1000;
    CliResult result = co_await OperationSupport::runOperation(session, name, request);
    if (result.exitCode != kExitUsage && result.outcome != QStringLiteral("connection-failed")) {
        result.output = result.status.toLocal8Bit() + '\n';
    }
    session.endOperation();
    co_return result;
}

} // namespace

Subcommand flashSubcommand() {
    Subcommand flash = Subcommand::ofTask(
        QStringLiteral("flash"),
        QStringLiteral("flash a firmware file through the controller's bootloader"), runFlash);
    flash.operands = [](const QStringList& arguments) {
        return QStringList{parse(arguments).file};
    };
    flash.firmwareOperand = true;
    return flash;
}
