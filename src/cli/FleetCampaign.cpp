#include "cli/FleetCampaign.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLockFile>
#include <QMutex>

namespace {

constexpr int kLockWaitMs = 5000;

QString lockPath(const QString& path) {
    return path + QStringLiteral(".lock");
}

} // namespace

bool FleetCampaign::open(const QString& subcommand, QString& error) {
    QFile file(path_);
    if (!file.exists()) {
        // Created now: a file that cannot be written is found before any controller is touched.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            error = QStringLiteral("%1: %2").arg(path_, file.errorString());
            return false;
        }
        return true;
    }
    if (!QFileInfo(path_).isFile()) {
        error = QStringLiteral("%1: not a plain file").arg(path_);
        return false;
    }
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        error = QStringLiteral("%1: %2").arg(path_, file.errorString());
        return false;
    }
    file.seek(0);
    read(file.readAll(), subcommand);
    return true;
}

void FleetCampaign::read(const QByteArray& text, const QString& subcommand) {
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty()) {
            continue;
        }
        QJsonParseError parsed{};
        const QJsonObject o = QJsonDocument::fromJson(lines[i], &parsed).object();
        const bool whole = parsed.error == QJsonParseError::NoError && o.contains("id") &&
                           o.value("exitCode").isDouble();
        if (!whole) {
            warnings_ << QStringLiteral("%1: line %2 is not a whole record; it is ignored")
                             .arg(path_)
                             .arg(i + 1);
            continue;
        }
        if (o.value("subcommand").toString() == subcommand) {
            earlier_.insert(std::uint32_t(o.value("id").toDouble()),
                            Earlier{o.value("exitCode").toInt(), o.value("resume").toString()});
        }
    }
}

std::optional<FleetCampaign::Earlier> FleetCampaign::earlier(std::uint32_t id) const {
    const auto it = earlier_.constFind(id);
    if (it == earlier_.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

// One write of the whole line, under the lock file (other processes) and a mutex (this one).
bool FleetCampaign::append(const QJsonObject& line, QString& error) {
    static QMutex threads;
    QMutexLocker locked(&threads);
    QLockFile lock(lockPath(path_));
    if (!lock.tryLock(kLockWaitMs)) {
        error = QStringLiteral("%1: the lock %2 could not be had").arg(path_, lockPath(path_));
        return false;
    }
    QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    if (endsInTornLine()) {
        bytes.prepend('\n');
    }
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size()) {
        error = QStringLiteral("%1: %2").arg(path_, file.errorString());
        return false;
    }
    return true;
}

// A writer that died in the middle of a line (this run's earlier self, or another run sharing the
// file) left it without its end: the next line must not be glued to it.
bool FleetCampaign::endsInTornLine() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0) {
        return false;
    }
    file.seek(file.size() - 1);
    return file.read(1) != "\n";
}

QStringList FleetCampaign::resumed(QStringList arguments, const QString& position) {
    const QString option = QStringLiteral("--resume");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QStringLiteral("--from-start") || a.startsWith(option + QLatin1Char('='))) {
            arguments[i] = option + QLatin1Char('=') + position;
        } else if (a == option && i + 1 < arguments.size()) {
            arguments[i + 1] = position;
        } else if (a == QStringLiteral("--")) {
            break;
        }
    }
    return arguments;
}
