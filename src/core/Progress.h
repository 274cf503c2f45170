#pragma once

#include <cstdint>
#include <optional>

// How far an operation has got: the window draws it into its status panels and bar, the shell
// into its progress line.
struct ProgressEvent {
    std::int64_t done = 0;                   // records, characters or positions done
    std::int64_t total = 0;                  // of this many
    std::optional<std::int64_t> bytes;       // characters transferred, where counted apart
    std::optional<std::int64_t> remainingMs; // where the procedure estimates it
};
