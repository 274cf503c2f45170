#pragma once

#include <QList>
#include <QString>

// How a fleet is run: how many ids at once, and the rollout's rules. Taken from the command line
// by GlobalFlags.
struct FleetOptions {
    static constexpr int kMaxJobs = 1024;

    // One bound of --wave: how many ids have started once the stage is under way, as a count
    // or as a share of the ids ("25%").
    struct StageBound {
        int count = 0;
        double percent = 0; // used when above 0
    };

    int jobs = 1;
    // --wave 1,10,25%,100%: the stages, as growing totals of the ids; a stage starts only when
    // the one before ended within its failure limit. The ids past the last bound are the last
    // stage. Empty: one stage of every id.
    QList<StageBound> stages;
    // --max-failures K (or P % of a stage's ids): a stage that has K failures starts no more of
    // its ids, and the stages after it never start; 0: each stage but the last must succeed
    // whole, the last has no limit.
    int maxFailures = 0;
    double maxFailuresPercent = 0; // the P of "P%"; 0 when K was given as a count
    // --rate N/min: no more than N ids start in a minute, one every 60/N seconds; 0: no bound.
    int ratePerMinute = 0;
    // --deadline DURATION: one id's whole run; an id still running then is cancelled; 0: none.
    qint64 deadlineMs = 0;
    // --events FILE|-: one JSON line per event of the run; empty: none.
    QString eventsPath;
    // --state FILE: the campaign file, one line per id as it ends; empty: none.
    QString statePath;
    // --campaign postgresql://HOST:PORT/DB?name=NAME: a campaign shared by every worker that
    // names it, kept in PostgreSQL; empty: none.
    QString campaignUrl;
    // --lease DURATION: how long an id claimed from a shared campaign stays this worker's
    // without a heartbeat; another worker claims it once the lease ran out. 0: the default.
    static constexpr qint64 kDefaultLeaseMs = 30000;
    qint64 leaseMs = 0;

    // Where each stage of a run of `ids` ids ends: the position after its last id, growing, the
    // last one `ids`.
    QList<qsizetype> stageEnds(qsizetype ids) const;
    // The failures that stop a stage of `ids` ids; 0 when there is no limit. `last`: the last
    // stage, which without --max-failures has none.
    int failureLimit(qsizetype ids, bool last) const;
    // Whether any option asks for a fleet (so --id must name several ids).
    bool rollout() const {
        return !stages.isEmpty() || maxFailures > 0 || !statePath.isEmpty() || ratePerMinute > 0 ||
               deadlineMs > 0 || !eventsPath.isEmpty() || !campaignUrl.isEmpty();
    }
};
