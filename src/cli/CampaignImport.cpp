#include "cli/CampaignImport.h"

#include "cli/CampaignDatabase.h"
#include "cli/ExitCodes.h"
#include "cli/FleetCampaign.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

// What the file's first whole line is for; the file must be of that one campaign throughout.
std::optional<FleetCampaign::Purpose> purposeOf(const QString& path, QString& error) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: no campaign file to read").arg(path);
        return std::nullopt;
    }
    while (!file.atEnd()) {
        const QJsonObject o =
            QJsonDocument::fromJson(file.readLine(FleetCampaign::kMaxLine + 1)).object();
        if (o.contains(QStringLiteral("id")) && o.value(QStringLiteral("exitCode")).isDouble()) {
            FleetCampaign::Purpose purpose;
            purpose.subcommand = o.value(QStringLiteral("subcommand")).toString();
            purpose.broker = o.value(QStringLiteral("broker")).toString();
            purpose.sha256 = o.value(QStringLiteral("sha256")).toString();
            for (const QJsonValue& v : o.value(QStringLiteral("operands")).toArray()) {
                purpose.operands << v.toString();
            }
            return purpose;
        }
    }
    error = QStringLiteral("%1 holds no line of a campaign").arg(path);
    return std::nullopt;
}

QString operandsText(const QStringList& operands) {
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(operands)).toJson(QJsonDocument::Compact));
}

bool makeCampaign(CampaignDatabase& db, const FleetCampaign::Purpose& purpose, QString& error) {
    const QString name = db.url().name;
    if (!db.run(QStringLiteral(
                    "INSERT INTO velkor_campaign (name, subcommand, sha256, operands) "
                    "VALUES (?, ?, coalesce(?, ''), CAST(? AS jsonb)) ON CONFLICT (name) DO "
                    "NOTHING"),
                {name, purpose.subcommand, purpose.sha256, operandsText(purpose.operands)}, error)
             .isActive()) {
        return false;
    }
    QSqlQuery& row =
        db.run(QStringLiteral("SELECT subcommand = ? AND sha256 = coalesce(?, '') AND operands = "
                              "CAST(? AS jsonb) FROM velkor_campaign WHERE name = ? "
                              "FOR UPDATE"),
               {purpose.subcommand, purpose.sha256, operandsText(purpose.operands), name}, error);
    if (!row.next()) {
        return false;
    }
    if (!row.value(0).toBool()) {
        error = QStringLiteral("%1: the campaign %2 deploys something else than the file's lines")
                    .arg(db.url().shown(), name);
        return false;
    }
    return true;
}

bool addIds(CampaignDatabase& db, const FleetCampaign& file, const QString& broker,
            CampaignImport::Result& result, QString& error) {
    for (const std::uint32_t id : file.ids()) {
        const FleetCampaign::Earlier earlier = *file.earlier(id);
        const bool succeeded = earlier.exitCode == kExitOk;
        QSqlQuery& added = db.run(
            QStringLiteral(
                "INSERT INTO velkor_campaign_id (campaign, broker, id, seq, pass, state, "
                "outcome, exit_code, resume, attempts, ended_at) SELECT ?, ?, ?, "
                "(SELECT coalesce(max(seq), 0) + 1 FROM velkor_campaign_id WHERE campaign = ?), "
                "c.pass, ?, ?, ?, NULLIF(?, ''), 1, now() FROM velkor_campaign c WHERE c.name = ? "
                "ON CONFLICT (campaign, broker, id) DO NOTHING"),
            {db.url().name, broker, qint64(id), db.url().name,
             succeeded ? QStringLiteral("succeeded") : QStringLiteral("failed"),
             exitCodeName(earlier.exitCode), earlier.exitCode, earlier.resume, db.url().name},
            error);
        if (!added.isActive()) {
            return false;
        }
        (added.numRowsAffected() == 1 ? result.added : result.kept) += 1;
    }
    return true;
}

} // namespace

CampaignImport::Result CampaignImport::run(CampaignDatabase& db, const QString& path) {
    Result result;
    const std::optional<FleetCampaign::Purpose> purpose = purposeOf(path, result.error);
    if (!purpose) {
        return result;
    }
    FleetCampaign file(path, *purpose);
    if (!file.open(result.error)) {
        return result;
    }
    result.warnings = file.warnings();
    if (!db.begin(result.error)) {
        return result;
    }
    if (!makeCampaign(db, *purpose, result.error) ||
        !addIds(db, file, purpose->broker, result, result.error) || !db.commit(result.error)) {
        db.rollback();
        result.added = result.kept = 0;
    }
    return result;
}
