#include "cli/FleetEvents.h"

#include "cli/ShellOutput.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>

bool FleetEvents::open(const QString& path, QString& error) {
    if (path == QStringLiteral("-")) {
        toStdout_ = true;
        return true;
    }
    // A FIFO or a device would hold the fleet whenever its reader stalls.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        error = QStringLiteral("--events %1: not a plain file (give a file, or - for standard "
                               "output)")
                    .arg(path);
        return false;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        error = QStringLiteral("--events %1: %2").arg(path, file->errorString());
        return false;
    }
    file_ = std::move(file);
    path_ = path;
    return true;
}

void FleetEvents::write(const char* event, QJsonObject fields) {
    if (!isOpen()) {
        return;
    }
    fields.insert(QStringLiteral("event"), QLatin1String(event));
    fields.insert(QStringLiteral("time"),
                  QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    const QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n';
    if (keep_) {
        keep_(line);
    }
    if (toStdout_) {
        ShellOutput::write(stdout, line);
    } else if (file_ && file_->write(line) != line.size()) {
        ShellOutput::print(stderr, QStringLiteral("velkor-cli: warning: no more events are "
                                                  "written to %1: %2\n")
                                       .arg(path_, file_->errorString()));
        file_.reset();
        return;
    }
    ++written_;
}

void FleetEvents::fleetStarted(const QString& subcommand, const QJsonObject& plan) {
    QJsonObject fields = plan;
    fields.insert(QStringLiteral("subcommand"), subcommand);
    write("fleet-started", fields);
}

void FleetEvents::stage(const char* event, int stage, qsizetype ids, const QString& reason) {
    QJsonObject fields{{QStringLiteral("stage"), stage + 1}, {QStringLiteral("ids"), double(ids)}};
    if (!reason.isEmpty()) {
        fields.insert(QStringLiteral("reason"), reason);
    }
    write(event, fields);
}

void FleetEvents::idStarted(const FleetMember& m, int stage) {
    QJsonObject fields{{QStringLiteral("id"), double(m.id)}, {QStringLiteral("stage"), stage + 1}};
    if (!m.resumeFrom.isEmpty()) {
        fields.insert(QStringLiteral("resumeFrom"), m.resumeFrom);
    }
    write("id-started", fields);
}

void FleetEvents::idProgress(const FleetMember& m) {
    write("id-progress", {{QStringLiteral("id"), double(m.id)},
                          {QStringLiteral("done"), double(m.done)},
                          {QStringLiteral("total"), double(m.total)},
                          {QStringLiteral("message"), m.message}});
}

void FleetEvents::idEnded(const FleetMember& m) {
    QJsonObject fields{{QStringLiteral("id"), double(m.id)},
                       {QStringLiteral("outcome"), m.outcome()},
                       {QStringLiteral("exitCode"), m.exitCode},
                       {QStringLiteral("elapsedMs"), double(m.elapsedMs)},
                       {QStringLiteral("status"), m.status()}};
    if (!m.resume().isEmpty()) {
        fields.insert(QStringLiteral("resume"), m.resume());
    }
    if (!m.stopped.isEmpty()) {
        fields.insert(QStringLiteral("stopped"), m.stopped);
    }
    write("id-ended", fields);
}

void FleetEvents::stopping(const char* how, const char* signal, int running) {
    write("stopping", {{QStringLiteral("how"), QLatin1String(how)},
                       {QStringLiteral("signal"), QLatin1String(signal)},
                       {QStringLiteral("running"), running}});
}

void FleetEvents::fleetEnded(int exitCode, qint64 elapsedMs, const QJsonObject& counts) {
    QJsonObject fields = counts;
    fields.insert(QStringLiteral("exitCode"), exitCode);
    fields.insert(QStringLiteral("elapsedMs"), double(elapsedMs));
    write("fleet-ended", fields);
}
