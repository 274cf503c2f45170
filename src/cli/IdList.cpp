#include "cli/IdList.h"

#include "cli/UsageError.h"

#include <QSet>

namespace {

// One id of an item of the list ("7", or either end of "3-9"); a bad one is reported with the
// item it is in.
std::uint32_t parseId(const QString& text, const QString& item) {
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFULL || text.trimmed().startsWith(QLatin1Char('+'))) {
        throw UsageError(QStringLiteral("--id: \"%1\" is not a hardware id (a whole number of 0 "
                                        "to 4294967295) nor a range FIRST-LAST of them")
                             .arg(item.trimmed()));
    }
    return std::uint32_t(value);
}

void add(QList<std::uint32_t>& ids, QSet<std::uint32_t>& seen, std::uint32_t id) {
    if (!seen.contains(id)) {
        if (ids.size() >= IdList::kMaxIds) {
            throw UsageError(
                QStringLiteral("--id: more than %1 ids in one run").arg(IdList::kMaxIds));
        }
        ids.append(id);
        seen.insert(id);
    }
}

} // namespace

QList<std::uint32_t> IdList::parse(const QString& text) {
    QList<std::uint32_t> ids;
    QSet<std::uint32_t> seen;
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& item : items) {
        const qsizetype dash = item.indexOf(QLatin1Char('-'));
        if (dash < 0) {
            add(ids, seen, parseId(item, item));
            continue;
        }
        const std::uint32_t first = parseId(item.left(dash), item);
        const std::uint32_t last = parseId(item.mid(dash + 1), item);
        if (last < first) {
            throw UsageError(
                QStringLiteral("--id: the range \"%1\" runs backwards").arg(item.trimmed()));
        }
        if (last - first >= std::uint32_t(kMaxIds)) {
            throw UsageError(QStringLiteral("--id: more than %1 ids in one run").arg(kMaxIds));
        }
        for (std::uint32_t id = first;; ++id) {
            add(ids, seen, id);
            if (id == last) {
                break;
            }
        }
    }
    return ids;
}
