#include "cli/FleetMember.h"

#include "cli/ExitCodes.h"

QString FleetMember::status() const {
    const QString text = result.value(QStringLiteral("status")).toString();
    if (!text.isEmpty()) {
        return text;
    }
    if (state == State::Waiting) {
        return QStringLiteral("not started");
    }
    return message;
}

QJsonObject FleetMember::toJson() const {
    QJsonObject o = result;
    o.insert(QStringLiteral("id"), double(id));
    o.insert(QStringLiteral("exitCode"), exitCode);
    // The child's own outcome word; a child that left no result is named by its exit code.
    o.insert(QStringLiteral("outcome"),
             result.value(QStringLiteral("outcome")).toString(exitCodeName(exitCode)));
    o.insert(QStringLiteral("status"), status());
    o.insert(QStringLiteral("elapsedMs"), double(elapsedMs));
    o.remove(QStringLiteral("subcommand"));
    return o;
}
