#include "cli/QueryCommand.h"

#include "cli/CliSession.h"
#include "cli/ConnectionArguments.h"
#include "cli/OperationSupport.h"
#include "core/Cp1251.h"
#include "core/OperationTable.h"

namespace {

QByteArray answerLine(AnswerWords words, const QString& answer) {
    if (words == AnswerWords::Controller) {
        return Cp1251::encode(answer) + '\n';
    }
    return (answer + QLatin1Char('\n')).toLocal8Bit();
}

Task<CliResult> runQuery(Operation operation, QStringList arguments, RunFlags flags) {
    const OperationRow& row = OperationTable::row(operation);
    const ConnectionBasics parsed = connectionOnly(arguments, row.command);
    if (parsed.help) {
        co_return connectionHelp(row.help);
    }
    CliSession session(parsed.options, parsed.quiet || flags.quiet);
    co_return co_await QueryCommand::ask(session, operation);
}

} // namespace

Task<CliResult> QueryCommand::ask(CliSession& session, Operation operation) {
    const OperationRow& row = OperationTable::row(operation);
    session.setEndWaitOnDisconnect(true);
    CliResult result = co_await OperationSupport::runOperation(
        session, row.command, OperationSupport::request(session, operation));
    session.endOperation();
    const OperationResult& query = session.loader.driver.lastResult();
    if (query.succeeded()) {
        result.output = answerLine(row.answer, query.reason);
        for (auto fact = query.facts.begin(); fact != query.facts.end(); ++fact) {
            result.extra.insert(fact.key(), fact.value());
        }
    }
    co_return result;
}

Subcommand QueryCommand::subcommand(const OperationRow& row) {
    const Operation operation = row.operation;
    Subcommand query = Subcommand::ofTask(
        row.command, row.summary, [operation](const QStringList& arguments, const RunFlags& flags) {
            return runQuery(operation, arguments, flags);
        });
    const QString name = row.command;
    query.operands = [name](const QStringList& arguments) {
        connectionOnly(arguments, name);
        return QStringList();
    };
    return query;
}
