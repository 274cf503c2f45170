#pragma once

#include "cli/FleetCampaign.h"
#include "cli/FleetMember.h"
#include "cli/FleetOptions.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

class CampaignClaims;

// Where a fleet keeps its campaign: what each id's run left (skip it, resume it) and the line
// of each id that ends. The campaign file of --state is one; a database campaign shared by
// several workers (--campaign) is the other, and hands the ids out itself (claims()).
class CampaignStore {
public:
    using Earlier = FleetCampaign::Earlier;

    virtual ~CampaignStore() = default;

    // Reads (or creates) the campaign; false with the reason when it cannot, or it is another
    // campaign's. Its warnings() are said on standard error.
    virtual bool open(QString& error) = 0;
    virtual QStringList warnings() const { return {}; }
    // What an earlier run left of the id, when it left anything.
    virtual std::optional<Earlier> earlier(std::uint32_t id) const = 0;
    // The id ended: its outcome goes on record; false with the reason when it could not.
    virtual bool record(const FleetMember& member, QString& error) = 0;
    // Non-null when the ids are handed out by the campaign rather than run in order here.
    virtual CampaignClaims* claims() { return nullptr; }
    // Whether the campaign keeps the fleet's events (one JSON line each) beside every other
    // worker's; keepEvent() takes them, flushEvents() writes those not written yet.
    virtual bool keepsEvents() const { return false; }
    virtual void keepEvent(const QByteArray& line) { (void)line; }
    virtual void flushEvents() {}

    // The store the options ask for: the file of --state, the database of --campaign, or none.
    static std::unique_ptr<CampaignStore> make(const FleetOptions& options,
                                               const FleetCampaign::Purpose& purpose,
                                               const QList<std::uint32_t>& ids);
};

// The ids of a campaign shared by several workers: each worker claims the next ones when it has
// a free job, under the campaign's rules (its stages and failure limits counted over every
// worker, its rate), holds them by a lease that its heartbeat renews, and learns of a drain or
// stop written into the campaign.
class CampaignClaims {
public:
    struct Offer {
        enum class Kind { Start, Wait, Stop, Done };
        Kind kind = Kind::Done;
        std::uint32_t id = 0;
        QString resume; // a store's position to go on from
        int stage = 0;  // the campaign's stage of the id, from 0
        qsizetype stageIds = 0;
        int waitMs = 0;  // Wait: ask again after this
        QString reason;  // Stop: why no id starts any more; Wait: a database trouble, if any
        QString control; // Stop: "drain" or "stop" written into the campaign; "": held
    };
    // What the heartbeat learnt.
    struct Beat {
        QString control;           // "drain" or "stop" written into the campaign; else ""
        QString held;              // the rollout's reason to start no more ids; else ""
        QList<std::uint32_t> lost; // running ids whose lease another worker took
        QString trouble;           // the database could not be reached: why
        bool leaseAtRisk = false;  // no heartbeat went through for half the lease
    };
    // What the campaign says of an id this worker did not run to its end.
    struct Elsewhere {
        QString state; // "succeeded", "failed", "pending", "claimed", "running"
        int exitCode = -1;
        QString outcome;
        QString status;
        QString worker;
    };

    virtual ~CampaignClaims() = default;

    // The next id to start now, with `free` jobs free; the id is this worker's from then on.
    virtual Offer next(int free) = 0;
    virtual Beat beat() = 0;
    virtual int beatMs() const = 0;
    // Ids claimed but not started go back to the campaign (a drain, a stop, the end).
    virtual void release() = 0;
    virtual std::optional<Elsewhere> elsewhere(std::uint32_t id) = 0;
    // This worker's name in the campaign: "host:pid".
    virtual QString worker() const = 0;
};
