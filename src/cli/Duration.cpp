#include "cli/Duration.h"

#include <QRegularExpression>

namespace {

qint64 unitMs(const QString& unit) {
    if (unit == QStringLiteral("ms")) {
        return 1;
    }
    if (unit.isEmpty() || unit == QStringLiteral("s")) {
        return 1000;
    }
    if (unit == QStringLiteral("m") || unit == QStringLiteral("min")) {
        return 60 * 1000;
    }
    return unit == QStringLiteral("h") ? 3600 * 1000 : 0;
}

} // namespace

std::optional<qint64> Duration::parseMs(const QString& text) {
    static const QRegularExpression part(QStringLiteral("^(\\d{1,7})(ms|min|h|m|s)?"));
    if (text.isEmpty()) {
        return std::nullopt;
    }
    qint64 total = 0;
    QString rest = text;
    while (!rest.isEmpty()) {
        const QRegularExpressionMatch match = part.match(rest);
        // A bare number is seconds, and only alone: "1h30" is no duration.
        if (!match.hasMatch() ||
            (match.captured(2).isEmpty() && match.capturedLength() != text.size())) {
            return std::nullopt;
        }
        total += match.captured(1).toLongLong() * unitMs(match.captured(2));
        rest = rest.mid(match.capturedLength());
    }
    return total;
}
