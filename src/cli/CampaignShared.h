#pragma once

#include "cli/CampaignDatabase.h"
#include "cli/CampaignStore.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <deque>

// A campaign in PostgreSQL, shared by every velkor-cli worker that names it (--campaign). The
// campaign row says what it deploys (subcommand, firmware SHA-256 and header, operands) and its
// rules (stages, failure limit, rate, a drain or stop written into it); each id of each broker
// has a row with its state, attempts, outcome, exit code, resume position, worker and times.
//
// A worker adds its ids to the campaign, then claims the next ones of its broker in small
// batches (SELECT ... FOR UPDATE SKIP LOCKED, so that workers never wait on each other's rows),
// each under a lease its heartbeat renews. The ids of a worker that died are claimed again once
// its lease ran out, and a store goes on from the position recorded when it was last stopped.
// A stage opens when every id of the one before ended under its failure limit, counted over
// every worker; a stage at its limit holds the campaign for all of them.
class CampaignShared : public CampaignStore, public CampaignClaims {
public:
    CampaignShared(const CampaignUrl& url, const FleetCampaign::Purpose& purpose,
                   const QList<std::uint32_t>& ids, const FleetOptions& options);

    bool open(QString& error) override;
    std::optional<Earlier> earlier(std::uint32_t id) const override;
    bool record(const FleetMember& member, QString& error) override;
    CampaignClaims* claims() override { return this; }
    // The events go to the campaign at each heartbeat, in one statement.
    bool keepsEvents() const override { return true; }
    void keepEvent(const QByteArray& line) override { events_ += line; }
    void flushEvents() override;

    Offer next(int free) override;
    Beat beat() override;
    int beatMs() const override;
    void release() override;
    std::optional<Elsewhere> elsewhere(std::uint32_t id) override;
    QString worker() const override { return worker_; }

    // A claim takes this many ids (as many as there are free jobs, up to kMaxBatch): those not
    // started at once wait here, under this worker's lease.
    static constexpr int kBatch = 8;
    static constexpr int kMaxBatch = 64;
    // The rules and stage counts read before a start serve the starts of this long.
    static constexpr qint64 kGateMs = 500;
    // A worker with nothing to claim while other workers' ids run asks again this often.
    static constexpr int kWaitMs = 300;
    // Ids whose lease ran out are looked for at most this often.
    static constexpr qint64 kExpiredScanMs = 1000;

private:
    // The campaign row's rules as read now.
    struct Rules {
        int pass = 1;
        QString control; // "run", "drain" or "stop"
        QString held;    // why the rollout starts no more ids, with the stage's count
        int ratePerMinute = 0;
        FleetOptions limits; // the failure limits in force
    };
    // The rules with the stage ids may start in, or why none may.
    struct Gate {
        Rules rules;
        QString held;          // why no id may start; else ""
        int open = 0;          // the latest stage whose ids may start
        bool lastOpen = false; // it is the last stage
    };
    bool createOrJoin(QString& error);
    bool joinIds(QString& error);
    bool restartWhenIdle(QString& error);
    bool assignStages(int pass, QString& error);
    std::optional<Rules> readRules(QString& error);
    QString stageGate(Gate& gate, QString& error);
    bool claimBatch(int count, const Gate& gate, QString& error);
    bool claimWhere(const QString& condition, int count, const Gate& gate, QString& error);
    int liveIds(QString& error);
    bool takeStartSlot(const Rules& rules, int& waitMs, QString& error);
    Offer startClaimed(QString& error);
    const Gate* currentGate(QString& error);
    void renewLeases(Beat& beat, QString& error);
    void loadOutcomes();

    CampaignDatabase db_;
    FleetCampaign::Purpose purpose_;
    QList<std::uint32_t> ids_;
    QString idArray_;
    FleetOptions options_;
    qint64 leaseMs_;
    QString worker_;
    QHash<std::uint32_t, Earlier> earlier_;
    std::deque<std::uint32_t> claimed_; // claimed, not started yet
    QSet<std::uint32_t> running_;
    QHash<std::uint32_t, Elsewhere> outcomes_;
    bool outcomesLoaded_ = false;
    QElapsedTimer sinceBeat_; // since the leases were last renewed
    std::optional<Gate> gate_;
    QElapsedTimer idle_;        // since a claim found nothing, while that holds
    QElapsedTimer expiredScan_; // since the ids of leases that ran out were looked for
    QElapsedTimer gateAge_;
    QByteArray events_; // event lines not written to the campaign yet
};
