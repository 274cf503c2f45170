#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>

// One controller of a fleet, as the parent velkor-cli follows its child process.
struct FleetMember {
    enum class State { Waiting, Running, Done };

    std::uint32_t id = 0;
    State state = State::Waiting;
    int exitCode = -1;
    qint64 startMs = 0;
    qint64 elapsedMs = 0;
    QString message; // the latest status line of the child
    qint64 done = 0;
    qint64 total = 0;
    QJsonObject result; // the child's result object
    QByteArray pendingErr;

    // The final status text: the child's, else its last message.
    QString status() const;
    // The child's outcome word; a child that left no result is named by its exit code.
    QString outcome() const;
    // Where an interrupted store resumes ("PAGE:ADDR:LINE"), empty when it need not.
    QString resume() const { return result.value(QStringLiteral("resume")).toString(); }
    // The result row of this id in the fleet's result object.
    QJsonObject toJson() const;
};
