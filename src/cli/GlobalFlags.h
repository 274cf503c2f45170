#pragma once

#include <QList>
#include <QStringList>
#include <cstdint>

// The flags the dispatcher takes before a subcommand sees its arguments: --json and --jobs N
// are removed, --quiet is noted and left for the subcommand, and an --id that names several
// ids is taken out for the fleet. Raises UsageError for a bad --jobs or --id value.
struct GlobalFlags {
    bool json = false;
    bool quiet = false;
    int jobs = 1;
    QList<std::uint32_t> fleet; // two or more ids: the fleet; else empty
    QString idText;             // the --id value as given

    static constexpr int kMaxJobs = 64;

    // Takes the flags out of arguments (the subcommand's name first).
    static GlobalFlags take(QStringList& arguments);
};
