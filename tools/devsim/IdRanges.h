#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace devsim {

// The most controllers one simulator runs behind its broker.
constexpr qsizetype kMaxIds = 100000;

// Hardware ids written as single ids and ranges FIRST-LAST separated by commas ("1-10,20,30-40"),
// the syntax of velkor-cli's --id, in the order given; an id named twice is taken once. Nothing,
// with the reason in error (which names option), for a text that is not such a list, a range
// that runs backwards, or more than kMaxIds ids.
std::optional<QList<std::uint32_t>> parseIdRanges(const QString& option, const QString& text,
                                                  QString* error);

} // namespace devsim
