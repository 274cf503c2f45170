#include "cli/VersionQuery.h"

#include "cli/CliSession.h"
#include "cli/QueryCommand.h"
#include "core/Operation.h"

Task<VersionQuery::Asked> VersionQuery::ask(CliSession& session) {
    Asked asked;
    asked.result = co_await QueryCommand::ask(session, Operation::Version);
    const OperationResult& query = session.loader.driver.lastResult();
    if (query.succeeded()) {
        asked.version = query.reason;
    }
    co_return asked;
}

bool VersionQuery::holds(const QString& version, const QString& text) {
    return !text.isEmpty() && version.contains(text);
}
