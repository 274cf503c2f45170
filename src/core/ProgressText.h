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

// "n" with the noun in the form Russian gives that count: 1 запись, 3 записи, 5 записей,
// 21 запись, 11 записей.
QString counted(std::int64_t n, const QString& one, const QString& few, const QString& many);
// "все 4 записи приняты", "1 запись принята": every record of the file taken.
QString recordsTaken(std::int64_t n);

} // namespace ProgressText
