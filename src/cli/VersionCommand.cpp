#include "cli/VersionCommand.h"

#include "cli/CliSession.h"
#include "cli/ConnectionArguments.h"
#include "cli/VersionQuery.h"

namespace {

const char* kHelp =
    "Usage: velkor-cli version CONNECTION [OPTIONS]\n"
    "Asks the controller's command interpreter its firmware version (\"VER\", asked again\n"
    "while its answer is lost) and prints the answer's line. With --id and several ids (for\n"
    "example --id 1-1000 --jobs 64) it is the inventory of a fleet: one row per id. flash\n"
    "--skip-version TEXT asks the same query and skips the ids whose version holds TEXT.\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 the version came, 69 the connection could not be opened (or the broker has\n"
    "no controller with that id), 75 no answer (or a damaged or cut one), 76 the controller\n"
    "refused the command, 130 cancelled (Ctrl-C).\n"
    "With --json the version is in \"version\". Each run that opened the connection writes a\n"
    "journal entry with the version or why there is none.\n\n";

ConnectionBasics parse(const QStringList& arguments) {
    return connectionOnly(arguments, QStringLiteral("version"));
}

Task<CliResult> runVersion(QStringList arguments, RunFlags flags) {
    const ConnectionBasics parsed = parse(arguments);
    if (parsed.help) {
        co_return connectionHelp(kHelp);
    }
    CliSession session(parsed.options, parsed.quiet || flags.quiet);
    co_return (co_await VersionQuery::ask(session)).result;
}

} // namespace

Subcommand versionSubcommand() {
    Subcommand version =
        Subcommand::ofTask(QStringLiteral("version"),
                           QStringLiteral("ask the controller its firmware version"), runVersion);
    version.operands = [](const QStringList& arguments) {
        parse(arguments);
        return QStringList();
    };
    return version;
}
