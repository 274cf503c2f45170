#pragma once

#include "Progress.h"

#include <QString>

// How far an operation has got, in the window's words.
namespace ProgressText {

// "12 %" and, where known, the time left (" · 1:23"): short enough for the bar; empty for
// nothing counted.
QString barText(const ProgressEvent& progress);
// " 12.5 %, осталось 00:01:23" to follow a status message; empty for nothing counted.
QString suffix(const ProgressEvent& progress);
// The remaining time from the time taken for the part done, once it says anything.
std::optional<std::int64_t> remainingMs(std::int64_t elapsedMs, std::int64_t done,
                                        std::int64_t total);

} // namespace ProgressText
