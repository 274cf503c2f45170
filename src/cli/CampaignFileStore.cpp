#include "cli/CampaignFileStore.h"

#include "cli/CampaignShared.h"
#include "cli/CampaignUrl.h"

#include <QDateTime>

bool CampaignFileStore::record(const FleetMember& m, QString& error) {
    QJsonObject line{
        {QStringLiteral("id"), double(m.id)},
        {QStringLiteral("outcome"), m.outcome()},
        {QStringLiteral("exitCode"), m.exitCode},
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("elapsedMs"), double(m.elapsedMs)}};
    if (!m.resume().isEmpty()) {
        line.insert(QStringLiteral("resume"), m.resume());
    }
    return file_.append(line, error);
}

std::unique_ptr<CampaignStore> CampaignStore::make(const FleetOptions& options,
                                                   const FleetCampaign::Purpose& purpose,
                                                   const QList<std::uint32_t>& ids) {
    if (!options.statePath.isEmpty()) {
        return std::make_unique<CampaignFileStore>(options.statePath, purpose);
    }
    if (!options.campaignUrl.isEmpty()) {
        QString error;
        const std::optional<CampaignUrl> url = CampaignUrl::parse(options.campaignUrl, error);
        if (url) {
            return std::make_unique<CampaignShared>(*url, purpose, ids, options);
        }
    }
    return nullptr;
}
