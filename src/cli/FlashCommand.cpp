#include "cli/FlashCommand.h"

#include "cli/CliSession.h"
#include "cli/ExitCodes.h"
#include "cli/OperationSupport.h"
#include "cli/UsageError.h"
#include "procedures/Procedures.h"

#include <QCommandLineParser>

namespace {

const char* kHelp =
    "Usage: velkor-cli flash FILE CONNECTION [OPTIONS]\n"
    "Flashes FILE (Motorola S-records) into the controller through its bootloader: waits for\n"
    "the controller's restart banner, checks its device type against the signature in the\n"
    "file's header, enters the bootloader and sends the file record by record.\n"
    "Restart the controller (power or reset) after starting the command.\n"
    "  --reset-wait SECONDS       how long to wait for the restart (default 120; 0 waits\n"
    "                             until cancelled, as the window does)\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 programmed, 64 usage, 65 file refused, 69 connection failed,\n"
    "75 the device stopped answering (or did not restart in time), 76 signature mismatch,\n"
    "130 cancelled (Ctrl-C).\n\n";

constexpr int kDefaultResetWaitSeconds = 120;

struct FlashArguments {
    CommonOptions options;
    QString file;
    int resetWaitSeconds = kDefaultResetWaitSeconds;
    bool quiet = false;
    bool help = false;
};

int resetWaitOf(const QString& text) {
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (!ok || seconds < 0 || seconds > 86400) {
        throw UsageError(
            QStringLiteral("--reset-wait: \"%1\" is not a number of seconds (0 to 86400)")
                .arg(text));
    }
    return seconds;
}

FlashArguments parse(const QStringList& arguments) {
    QCommandLineParser parser;
    CommonOptions::addTo(parser);
    parser.addOptions({{{QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Quiet.")},
                       {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Help.")},
                       {QStringLiteral("reset-wait"), QStringLiteral("Restart wait."),
                        QStringLiteral("SECONDS")}});
    if (!parser.parse(arguments)) {
        throw UsageError(parser.errorText());
    }
    FlashArguments parsed;
    parsed.help = parser.isSet(QStringLiteral("help"));
    if (parsed.help) {
        return parsed;
    }
    parsed.options = CommonOptions::from(parser);
    parsed.quiet = parser.isSet(QStringLiteral("quiet"));
    if (parser.isSet(QStringLiteral("reset-wait"))) {
        parsed.resetWaitSeconds = resetWaitOf(parser.value(QStringLiteral("reset-wait")));
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        throw UsageError(QStringLiteral("name one firmware FILE"));
    }
    parsed.file = files.first();
    if (parsed.options.link == CommonOptions::Link::None) {
        throw UsageError(
            QStringLiteral("say how to reach the controller: --serial, --tcp or --broker"));
    }
    return parsed;
}

CliResult runFlash(const QStringList& arguments, const RunFlags& flags) {
    const FlashArguments parsed = parse(arguments);
    if (parsed.help) {
        CliResult help;
        help.output = QByteArray(kHelp) + CommonOptions::helpText();
        return help;
    }
    CliSession session(parsed.options, parsed.quiet || flags.quiet);
    Procedures procedures(session.loader, &session.questions);
    procedures.flash.cancelOperationsLeftOpen = true;
    procedures.flash.resetWaitMs = std::int64_t(parsed.resetWaitSeconds) * 1000;
    const QString name = QStringLiteral("flash");
    if (auto refused = OperationSupport::selectFirmware(session.loader, name, parsed.file)) {
        return *refused;
    }
    session.setEndWaitOnDisconnect(true);
    CliResult result = OperationSupport::runOperation(session, name, kModeFlash);
    if (result.exitCode != kExitUsage && result.outcome != QStringLiteral("connection-failed")) {
        result.output = result.status.toLocal8Bit() + '\n';
    }
    session.endOperation();
    return result;
}

} // namespace

Subcommand flashSubcommand() {
    return {QStringLiteral("flash"),
            QStringLiteral("flash a firmware file through the controller's bootloader"), runFlash};
}
