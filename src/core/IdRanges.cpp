#include "IdRanges.h"

#include <QSet>
#include <QStringList>

namespace {

struct BadIds {
    QString text;
};

// One id of an item of the list ("7", or either end of "3-9").
std::uint32_t parseId(const QString& option, const QString& text, const QString& item) {
    const QString digits = text.trimmed();
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFULL || digits.startsWith(QLatin1Char('+'))) {
        throw BadIds{QStringLiteral("%1: \"%2\" is not a hardware id (a whole number of 0 to "
                                    "4294967295) nor a range FIRST-LAST of them")
                         .arg(option, item.trimmed())};
    }
    return std::uint32_t(value);
}

QString tooMany(const QString& option, qsizetype maxIds) {
    return QStringLiteral("%1: more than %2 ids in one run").arg(option).arg(maxIds);
}

} // namespace

std::optional<QList<std::uint32_t>> parseIdRanges(const QString& option, const QString& text,
                                                  qsizetype maxIds, QString* error) {
    QList<std::uint32_t> ids;
    QSet<std::uint32_t> seen;
    const auto add = [&](std::uint32_t id) {
        if (!seen.contains(id)) {
            if (ids.size() >= maxIds) {
                throw BadIds{tooMany(option, maxIds)};
            }
            seen.insert(id);
            ids.append(id);
        }
    };
    try {
        for (const QString& item : text.split(QLatin1Char(','))) {
            const qsizetype dash = item.indexOf(QLatin1Char('-'));
            if (dash < 0) {
                add(parseId(option, item, item));
                continue;
            }
            const std::uint32_t first = parseId(option, item.left(dash), item);
            const std::uint32_t last = parseId(option, item.mid(dash + 1), item);
            if (last < first) {
                throw BadIds{QStringLiteral("%1: the range \"%2\" runs backwards")
                                 .arg(option, item.trimmed())};
            }
            if (last - first >= std::uint64_t(maxIds)) {
                throw BadIds{tooMany(option, maxIds)};
            }
            for (std::uint32_t id = first;; ++id) {
                add(id);
                if (id == last) {
                    break;
                }
            }
        }
    } catch (const BadIds& bad) {
        *error = bad.text;
        return std::nullopt;
    }
    return ids;
}
