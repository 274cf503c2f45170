#pragma once

#include "cli/FleetOptions.h"

#include <QList>
#include <QStringList>
#include <cstdint>

// The flags the dispatcher takes before a subcommand sees its arguments: --json, --jobs N and
// the rollout's --wave LIST, --max-failures K|P%, --rate N/min, --deadline DURATION,
// --events FILE and --state FILE are removed, --quiet is noted and left for the subcommand, and
// an --id that names several ids is taken out for the fleet.
// Raises UsageError for a bad value of any of them.
struct GlobalFlags {
    bool json = false;
    bool quiet = false;
    FleetOptions fleetOptions;
    QList<std::uint32_t> fleet; // two or more ids: the fleet; else empty
    QString idText;             // the --id value as given

    static constexpr int kMaxJobs = FleetOptions::kMaxJobs;

    // Takes the flags out of arguments (the subcommand's name first).
    static GlobalFlags take(QStringList& arguments);
};
