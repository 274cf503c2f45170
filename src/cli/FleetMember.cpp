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

QString FleetMember::outcome() const {
    return result.value(QStringLiteral("outcome")).toString(exitCodeName(exitCode));
}

QJsonObject FleetMember::toJson() const {
    QJsonObject o = result;
    o.insert(QStringLiteral("id"), double(id));
    o.insert(QStringLiteral("exitCode"), exitCode);
    o.insert(QStringLiteral("outcome"), outcome());
    o.insert(QStringLiteral("status"), status());
    o.insert(QStringLiteral("elapsedMs"), double(elapsedMs));
    o.remove(QStringLiteral("subcommand"));
    return o;
}
