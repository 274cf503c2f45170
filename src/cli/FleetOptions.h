#pragma once

#include <QString>

// How a fleet is run: how many ids at once, and the rollout's rules. Taken from the command line
// by GlobalFlags.
struct FleetOptions {
    static constexpr int kMaxJobs = 1024;

    int jobs = 1;
    // --wave N: the first N ids run first, and the rest only when every one of them succeeded.
    int wave = 0;
    // --max-failures K (or P % of the ids): no new id starts once K have failed; 0: no limit.
    int maxFailures = 0;
    double maxFailuresPercent = 0; // the P of "P%"; 0 when K was given as a count
    // --state FILE: the campaign file, one line per id as it ends; empty: none.
    QString statePath;

    // The failures that stop a fleet of `ids` ids; 0 when there is no limit.
    int failureLimit(qsizetype ids) const;
    // Whether any rule asks for more than one id at once (so --id must name several).
    bool rollout() const { return wave > 0 || maxFailures > 0 || !statePath.isEmpty(); }
};
