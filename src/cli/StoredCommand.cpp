#include "cli/StoredCommand.h"

#include "cli/CliSession.h"
#include "cli/ConnectionArguments.h"
#include "cli/OperationSupport.h"

#include <QJsonObject>

namespace {

const char* kHelp =
    "Usage: velkor-cli stored CONNECTION [OPTIONS]\n"
    "Reads the descriptor of the controller's storage memory (page 70, address 0: the stored\n"
    "text's length and checksum) and prints it, without reading the text: what a store left\n"
    "there, before a read-back or a finalisation. With --id and several ids it is a fleet's\n"
    "inventory of stored firmware: one row per id.\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 the descriptor was read, 69 the connection could not be opened (or the broker\n"
    "has no controller with that id), 75 no answer (or a damaged or cut one), 76 the controller\n"
    "refused a command or the password, 130 cancelled (Ctrl-C).\n"
    "With --json the descriptor is in \"length\" (characters) and \"checksum\" (four hex\n"
    "digits). Each run that opened the connection writes a journal entry.\n\n";

ConnectionBasics parse(const QStringList& arguments) {
    return connectionOnly(arguments, QStringLiteral("stored"));
}

Task<CliResult> runStored(QStringList arguments, RunFlags flags) {
    const ConnectionBasics parsed = parse(arguments);
    if (parsed.help) {
        co_return connectionHelp(kHelp);
    }
    CliSession session(parsed.options, parsed.quiet || flags.quiet);
    session.setEndWaitOnDisconnect(true);
    CliResult result = co_await OperationSupport::runOperation(
        session, QStringLiteral("stored"), OperationSupport::request(session, Operation::Stored));
    session.endOperation();
    const OperationResult& operation = session.loader.driver.lastResult();
    if (operation.succeeded()) {
        const StorageDescriptor& stored = session.procedures.readBack.descriptor();
        result.output = (operation.reason + QLatin1Char('\n')).toLocal8Bit();
        result.extra.insert(QStringLiteral("length"), qint64(stored.length));
        result.extra.insert(QStringLiteral("checksum"),
                            ReadBackProcedure::checksumText(stored.crc));
    }
    co_return result;
}

} // namespace

Subcommand storedSubcommand() {
    Subcommand stored = Subcommand::ofTask(
        QStringLiteral("stored"),
        QStringLiteral("read what the storage memory holds (its descriptor)"), runStored);
    stored.operands = [](const QStringList& arguments) {
        parse(arguments);
        return QStringList();
    };
    return stored;
}
