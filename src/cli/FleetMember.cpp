#include "cli/FleetMember.h"

#include "cli/ExitCodes.h"

QString FleetMember::status() const {
    const QString text = result.value(QStringLiteral("status")).toString();
    if (!text.isEmpty()) {
        return text;
    }
    if (state == State::Skipped) {
        return QStringLiteral("succeeded in an earlier run");
    }
    if (state == State::Waiting) {
        return notStarted.isEmpty() ? QStringLiteral("not started")
                                    : QStringLiteral("not started: %1").arg(notStarted);
    }
    return message;
}

QString FleetMember::outcome() const {
    if (state == State::Skipped) {
        return QStringLiteral("skipped");
    }
    if (!notStarted.isEmpty()) {
        return QStringLiteral("not-started");
    }
    return result.value(QStringLiteral("outcome")).toString(exitCodeName(exitCode));
}

QJsonObject FleetMember::toJson() const {
    QJsonObject o = result;
    o.insert(QStringLiteral("id"), double(id));
    o.insert(QStringLiteral("exitCode"), exitCode);
    o.insert(QStringLiteral("outcome"), outcome());
    o.insert(QStringLiteral("status"), status());
    o.insert(QStringLiteral("elapsedMs"), double(elapsedMs));
    if (!notStarted.isEmpty()) {
        o.insert(QStringLiteral("notStarted"), notStarted);
    }
    if (!resumeFrom.isEmpty()) {
        o.insert(QStringLiteral("resumedFrom"), resumeFrom);
    }
    if (!stopped.isEmpty()) {
        o.insert(QStringLiteral("stopped"), stopped);
    }
    o.remove(QStringLiteral("subcommand"));
    return o;
}
