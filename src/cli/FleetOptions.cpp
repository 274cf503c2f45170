#include "cli/FleetOptions.h"

#include <cmath>

// A share of the fleet is rounded up, and is at least one id: "5%" of 10 ids stops at the first.
int FleetOptions::failureLimit(qsizetype ids) const {
    if (maxFailuresPercent > 0) {
        return qMax(1, int(std::ceil(maxFailuresPercent * double(ids) / 100.0 - 1e-9)));
    }
    return maxFailures;
}
