#pragma once

#include "cli/CampaignStore.h"

// The campaign file of --state (FleetCampaign) as a fleet's store: one line per id that ends,
// read back by the next run of the same campaign.
class CampaignFileStore : public CampaignStore {
public:
    CampaignFileStore(const QString& path, const FleetCampaign::Purpose& purpose)
        : file_(path, purpose) {}

    bool open(QString& error) override { return file_.open(error); }
    QStringList warnings() const override { return file_.warnings(); }
    std::optional<Earlier> earlier(std::uint32_t id) const override { return file_.earlier(id); }
    bool record(const FleetMember& member, QString& error) override;

private:
    FleetCampaign file_;
};
