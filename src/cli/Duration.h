#pragma once

#include <QString>
#include <optional>

// A duration as an operator writes it: "90s", "5m", "1h30m", "1500ms", or a bare number of
// seconds. Empty when the text is none, or a part of it names no unit.
namespace Duration {

std::optional<qint64> parseMs(const QString& text);

} // namespace Duration
