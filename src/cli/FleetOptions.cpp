#include "cli/FleetOptions.h"

#include <cmath>

namespace {

// A share of the ids, rounded up, and at least one id: "5%" of 10 ids is the first.
qsizetype shareOf(double percent, qsizetype ids) {
    return qMax<qsizetype>(1, qsizetype(std::ceil(percent * double(ids) / 100.0 - 1e-9)));
}

} // namespace

// A bound beyond the ids ends at the last id; a bound that does not grow past the one before
// (a share rounded to the same id) makes no stage of its own.
QList<qsizetype> FleetOptions::stageEnds(qsizetype ids) const {
    QList<qsizetype> ends;
    for (const StageBound& bound : stages) {
        const qsizetype end =
            qMin(ids, bound.percent > 0 ? shareOf(bound.percent, ids) : qsizetype(bound.count));
        if (ends.isEmpty() || end > ends.last()) {
            ends.append(end);
        }
    }
    if (ids > 0 && (ends.isEmpty() || ends.last() < ids)) {
        ends.append(ids);
    }
    return ends;
}

int FleetOptions::failureLimit(qsizetype ids, bool last) const {
    if (maxFailuresPercent > 0) {
        return int(shareOf(maxFailuresPercent, ids));
    }
    if (maxFailures > 0) {
        return maxFailures;
    }
    return last ? 0 : 1;
}
