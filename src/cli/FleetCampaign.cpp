#include "cli/FleetCampaign.h"

#include "core/LockedAppend.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>

void FleetCampaign::Purpose::addTo(QJsonObject& line) const {
    line.insert(QStringLiteral("subcommand"), subcommand);
    line.insert(QStringLiteral("broker"), broker);
    if (!sha256.isEmpty()) {
        line.insert(QStringLiteral("sha256"), sha256);
    }
    if (!operands.isEmpty()) {
        line.insert(QStringLiteral("operands"), QJsonArray::fromStringList(operands));
    }
}

bool FleetCampaign::Purpose::isOf(const QJsonObject& line) const {
    QJsonObject mine;
    addTo(mine);
    for (const char* key : {"subcommand", "broker", "sha256", "operands"}) {
        if (line.value(QLatin1String(key)) != mine.value(QLatin1String(key))) {
            return false;
        }
    }
    return true;
}

QString FleetCampaign::Purpose::describe(const QJsonObject& line) {
    QString text = line.value(QStringLiteral("subcommand")).toString(QStringLiteral("?"));
    if (const QString sha = line.value(QStringLiteral("sha256")).toString(); !sha.isEmpty()) {
        text += QStringLiteral(" of the file with SHA-256 %1").arg(sha);
    }
    const QJsonArray operands = line.value(QStringLiteral("operands")).toArray();
    if (!operands.isEmpty()) {
        QStringList texts;
        for (const QJsonValue& v : operands) {
            texts << v.toString();
        }
        text += QStringLiteral(" of \"%1\"").arg(texts.join(QStringLiteral("\" \"")));
    }
    const QString broker = line.value(QStringLiteral("broker")).toString();
    return text + (broker.isEmpty() ? QStringLiteral(", no broker named")
                                    : QStringLiteral(", broker %1").arg(broker));
}

bool FleetCampaign::open(QString& error) {
    QFile file(path_);
    const QFileInfo info(path_);
    if (!info.exists()) {
        // Created now: a file that cannot be written is found before any controller is touched.
        if (const QString failed = LockedAppend::append(path_, QByteArrayView());
            !failed.isEmpty()) {
            error = QStringLiteral("%1: %2").arg(path_, failed);
            return false;
        }
        return true;
    }
    if (!info.isFile()) {
        error = QStringLiteral("%1: not a plain file").arg(path_);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path_, file.errorString());
        return false;
    }
    return read(file, error);
}

// Line by line, each at most kMaxLine long: whatever the file holds, the campaign keeps one
// entry per id.
bool FleetCampaign::read(QIODevice& file, QString& error) {
    qint64 number = 0;
    while (!file.atEnd()) {
        ++number;
        QByteArray text = file.readLine(kMaxLine + 1);
        const bool overlong = text.size() > kMaxLine && !text.endsWith('\n');
        while (overlong && !file.atEnd() && !file.readLine(kMaxLine + 1).endsWith('\n')) {
        }
        if (overlong) {
            text.clear(); // its end was cut off: torn
            text += '!';
        }
        if (!take(text, number, error)) {
            return false;
        }
    }
    return true;
}

bool FleetCampaign::take(const QByteArray& text, qint64 number, QString& error) {
    if (text.trimmed().isEmpty()) {
        return true;
    }
    QJsonParseError parsed{};
    const QJsonObject o = QJsonDocument::fromJson(text, &parsed).object();
    const bool whole = parsed.error == QJsonParseError::NoError && o.contains("id") &&
                       o.value("exitCode").isDouble();
    if (!whole) {
        warnings_ << QStringLiteral("%1: line %2 is not a whole record; it is ignored")
                         .arg(path_)
                         .arg(number);
        return true;
    }
    if (!purpose_.isOf(o)) {
        QJsonObject mine;
        purpose_.addTo(mine);
        error = QStringLiteral("%1 is the campaign of %2 (line %3), not of this run's %4: "
                               "give this run a campaign file of its own")
                    .arg(path_, Purpose::describe(o))
                    .arg(number)
                    .arg(Purpose::describe(mine));
        return false;
    }
    earlier_.insert(std::uint32_t(o.value("id").toDouble()),
                    Earlier{o.value("exitCode").toInt(), o.value("resume").toString()});
    return true;
}

std::optional<FleetCampaign::Earlier> FleetCampaign::earlier(std::uint32_t id) const {
    const auto it = earlier_.constFind(id);
    if (it == earlier_.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

QList<std::uint32_t> FleetCampaign::ids() const {
    QList<std::uint32_t> ids = earlier_.keys();
    std::sort(ids.begin(), ids.end());
    return ids;
}

// One write of the whole line, on a line of its own, under the kernel's lock.
bool FleetCampaign::append(QJsonObject line, QString& error) {
    purpose_.addTo(line);
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    if (const QString failed = LockedAppend::append(path_, bytes, true); !failed.isEmpty()) {
        error = QStringLiteral("%1: %2").arg(path_, failed);
        return false;
    }
    return true;
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
