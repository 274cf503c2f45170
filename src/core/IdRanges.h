#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// Hardware ids written as single ids and ranges FIRST-LAST separated by commas ("1-10,20,30-40"),
// the syntax of velkor-cli's --id and the simulator's --ids, in the order given; an id named twice
// is taken once. Nothing, with the reason in error (which names option), for a text that is not
// such a list, a range that runs backwards, or more than maxIds ids.
std::optional<QList<std::uint32_t>> parseIdRanges(const QString& option, const QString& text,
                                                  qsizetype maxIds, QString* error);
