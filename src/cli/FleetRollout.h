#pragma once

#include "cli/FleetOptions.h"

#include <QString>

// The rules of a rollout over the ids a fleet runs, in their order: the first wave runs alone
// and the rest follow only when all of it succeeded; no id starts once the failures reached the
// limit. Ids already running always end on their own.
class FleetRollout {
public:
    enum class Gate { Start, Wait, Stop };

    // ids: how many the fleet runs (skipped ones not counted).
    FleetRollout(const FleetOptions& options, qsizetype ids);

    // Whether the id at position `position` of the run order may start now.
    Gate gate(qsizetype position) const;
    // An id that started at `position` ended.
    void ended(qsizetype position, bool succeeded);
    // Why no more ids start: "wave failed" or "too many failures"; empty while they may.
    QString stopReason() const;

private:
    qsizetype wave_;
    int failureLimit_;
    qsizetype waveEnded_ = 0;
    int waveFailures_ = 0;
    int failures_ = 0;
};
