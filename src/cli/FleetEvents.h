#pragma once

#include "cli/FleetMember.h"

#include <QFile>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <memory>

// The live events of a fleet (--events FILE|-): one JSON object per line, written whole the
// moment it happens, so that a dashboard or `tail -f | jq` follows a rollout of hours. Every
// line has "event" and "time" (UTC, milliseconds); the events are fleet-started, stage-started,
// stage-held, id-started, id-progress, id-ended, stopping and fleet-ended. A file is appended
// to (a resumed campaign continues its events); "-" is standard output. Written on the fleet's
// thread only. A write that fails is said once on standard error and the rest are dropped: the
// fleet goes on.
class FleetEvents {
public:
    // Opens the file; false with the reason when it is no regular file or cannot be written.
    bool open(const QString& path, QString& error);
    // Hands every line also to `keep` (a shared campaign's log of every worker's events), with
    // or without a file.
    void keepAlsoIn(std::function<void(const QByteArray& line)> keep) { keep_ = std::move(keep); }
    bool isOpen() const { return toStdout_ || file_ != nullptr || keep_ != nullptr; }
    // The lines written so far.
    qint64 written() const { return written_; }

    void fleetStarted(const QString& subcommand, const QJsonObject& plan);
    void stage(const char* event, int stage, qsizetype ids, const QString& reason = QString());
    void idStarted(const FleetMember& member, int stage);
    void idProgress(const FleetMember& member);
    void idEnded(const FleetMember& member);
    // The fleet drains ("drain") or cancels its running ids ("cancel") after a signal.
    void stopping(const char* how, const char* signal, int running);
    void fleetEnded(int exitCode, qint64 elapsedMs, const QJsonObject& counts);

private:
    void write(const char* event, QJsonObject fields);

    std::function<void(const QByteArray& line)> keep_;
    std::unique_ptr<QFile> file_;
    QString path_;
    bool toStdout_ = false;
    qint64 written_ = 0;
};
