#pragma once

#include <QList>
#include <QString>
#include <cstdint>

// The hardware ids of --id: single ids and ranges separated by commas ("3,7,10-12"), in the
// order given; an id named twice is taken once. Raises UsageError for a text that is not such a
// list, a range that runs backwards, or more than kMaxIds ids.
namespace IdList {

constexpr qsizetype kMaxIds = 1000;

QList<std::uint32_t> parse(const QString& text);

} // namespace IdList
