#include "cli/VersionQuery.h"

#include "cli/CliSession.h"
#include "cli/OperationSupport.h"
#include "core/Cp1251.h"

Task<VersionQuery::Asked> VersionQuery::ask(CliSession& session) {
    session.setEndWaitOnDisconnect(true);
    Asked asked;
    asked.result = co_await OperationSupport::runOperation(
        session, QStringLiteral("version"), OperationSupport::request(session, Operation::Version));
    session.endOperation();
    const OperationResult& operation = session.loader.driver.lastResult();
    if (operation.succeeded()) {
        asked.version = operation.reason;
        asked.result.output = Cp1251::encode(operation.reason) + '\n';
        asked.result.extra.insert(QStringLiteral("version"), operation.reason);
    }
    co_return asked;
}

bool VersionQuery::holds(const QString& version, const QString& text) {
    return !text.isEmpty() && version.contains(text);
}
