#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>

// One controller of a fleet, as the fleet follows the thread that runs it.
struct FleetMember {
    // Skipped: it succeeded in an earlier run of the same campaign file.
    enum class State { Waiting, Running, Done, Skipped };

    std::uint32_t id = 0;
    State state = State::Waiting;
    int exitCode = -1;
    qint64 startMs = 0;
    qint64 elapsedMs = 0;
    QString message; // the latest status line of the member
    qint64 done = 0;
    qint64 total = 0;
    QJsonObject result; // the member's result object
    QString notStarted; // why it never started: "wave failed", "stopped by signal" ...
    QString resumeFrom; // the position of an earlier run this one resumed from
    // How a stop signal found it running: "drained" (it ended on its own, a store at its next
    // confirmed piece) or "cancelled" (a second signal); empty when none came while it ran.
    QString stopped;

    // The final status text: the member's, else its last message.
    QString status() const;
    // The member's outcome word: "skipped", "not-started", else the result's; a member that left
    // no result is named by its exit code.
    QString outcome() const;
    // Where an interrupted store resumes ("PAGE:ADDR:LINE"), empty when it need not.
    QString resume() const { return result.value(QStringLiteral("resume")).toString(); }
    // The result row of this id in the fleet's result object.
    QJsonObject toJson() const;
};
