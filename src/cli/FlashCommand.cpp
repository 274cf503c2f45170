#include "cli/FlashCommand.h"

#include "cli/CliSession.h"
#include "cli/ExitCodes.h"
#include "cli/OperationSupport.h"
#include "cli/UsageError.h"
#include "core/LoaderError.h"
#include "procedures/Procedures.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {

const char* kHelp =
    "Usage: velkor-cli flash FILE CONNECTION [OPTIONS]\n"
    "Flashes FILE (Motorola S-records) into the controller through its bootloader: waits for\n"
    "the controller's restart banner, checks its device type against the signature in the\n"
    "file's header, enters the bootloader and sends the file record by record.\n"
    "Restart the controller (power or reset) after starting the command.\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 programmed, 64 usage, 65 file refused, 69 connection failed,\n"
    "75 the device stopped answering, 76 signature mismatch, 130 cancelled (Ctrl-C).\n\n";

struct FlashArguments {
    CommonOptions options;
    QString file;
    bool quiet = false;
    bool help = false;
};

FlashArguments parse(const QStringList& arguments) {
    QCommandLineParser parser;
    CommonOptions::addTo(parser);
    parser.addOptions({{{QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Quiet.")},
                       {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Help.")}});
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

int exitCodeOf(FlashProcedure::Outcome outcome, bool interrupted) {
    using Outcome = FlashProcedure::Outcome;
    switch (outcome) {
    case Outcome::Success:
        return kExitOk;
    case Outcome::NoFile:
    case Outcome::BadFile:
        return kExitDataErr;
    case Outcome::Mismatch:
        return kExitProtocol;
    case Outcome::Cancelled:
        return interrupted ? kExitCancelled : kExitTempFail;
    case Outcome::NoAnswer:
    case Outcome::None:
        break;
    }
    return interrupted ? kExitCancelled : kExitTempFail;
}

int runFlash(const QStringList& arguments) {
    const FlashArguments parsed = parse(arguments);
    if (parsed.help) {
        std::fputs(kHelp, stdout);
        std::fputs(CommonOptions::helpText(), stdout);
        return kExitOk;
    }
    CliSession session(parsed.options, parsed.quiet);
    Procedures procedures(session.loader);
    procedures.flash.cancelOperationsLeftOpen = true;
    try {
        if (!OperationSupport::selectFirmware(session.loader, parsed.file)) {
            OperationSupport::report(QStringLiteral("flash"), session.loader.form.Status[3]);
            return kExitDataErr;
        }
    } catch (const LoaderError& e) {
        OperationSupport::report(QStringLiteral("flash"), e.text());
        return kExitIoErr;
    }
    const bool reached = OperationSupport::runOperation(session, kModeFlash);
    if (!reached) {
        OperationSupport::report(QStringLiteral("flash"), session.loader.form.Status[3]);
        return session.interrupted() ? kExitCancelled : kExitUnavailable;
    }
    const int code = exitCodeOf(procedures.flash.outcome(), session.interrupted());
    std::printf("%s\n", session.loader.form.Status[3].toLocal8Bit().constData());
    session.endOperation();
    return code;
}

} // namespace

Subcommand flashSubcommand() {
    return {QStringLiteral("flash"),
            QStringLiteral("flash a firmware file through the controller's bootloader"), runFlash};
}
