#pragma once

#include "cli/FleetOptions.h"

#include <QList>
#include <QString>

// The rules of a rollout over the ids a fleet runs, in their order, split into stages
// (--wave): a stage starts only when every id of the one before ended and its failures stayed
// under the limit; a stage whose failures reach the limit starts no more of its ids, and the
// fleet stops there. Ids already running always end on their own.
class FleetRollout {
public:
    enum class Gate { Start, Wait, Stop };

    // ids: how many the fleet runs (skipped ones not counted).
    FleetRollout(const FleetOptions& options, qsizetype ids);

    // Whether the id at `position` of the run order may start now; its stage opens when it may.
    Gate gate(qsizetype position);
    // An id that started at `position` ended.
    void ended(qsizetype position, bool succeeded);
    // Why no more ids start: "wave failed" (a stage without --max-failures had a failure) or
    // "too many failures"; empty while they may.
    const QString& stopReason() const { return stopReason_; }
    // The stage whose failures reached its limit, once one did.
    int stoppedStage() const { return stoppedStage_; }

    // The stage of the id at `position`, from 0, and how many stages and ids each has.
    int stageOf(qsizetype position) const;
    int stageCount() const { return int(stages_.size()); }
    qsizetype stageSize(int stage) const;
    // The failures so far of a stage, and its limit (0: none).
    int failures(int stage) const { return stages_.at(stage).failures; }
    int failureLimit(int stage) const { return stages_.at(stage).limit; }

private:
    struct Stage {
        qsizetype end = 0; // the position after its last id
        int limit = 0;
        qsizetype ended = 0;
        int failures = 0;
    };

    QList<Stage> stages_;
    int open_ = 0; // the latest stage allowed to start
    int stoppedStage_ = 0;
    bool counted_; // the limit is --max-failures, not the default of the stages
    QString stopReason_;
};
