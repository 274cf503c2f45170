#include "cli/IdList.h"

#include "cli/UsageError.h"

namespace {

std::uint32_t parseId(const QString& text, const QString& list) {
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFULL || text.trimmed().startsWith(QLatin1Char('+'))) {
        throw UsageError(QStringLiteral("--id: \"%1\" in \"%2\" is not a hardware id (a whole "
                                        "number of 0 to 4294967295)")
                             .arg(text, list));
    }
    return std::uint32_t(value);
}

void add(QList<std::uint32_t>& ids, std::uint32_t id) {
    if (!ids.contains(id)) {
        if (ids.size() >= IdList::kMaxIds) {
            throw UsageError(
                QStringLiteral("--id: more than %1 ids in one run").arg(IdList::kMaxIds));
        }
        ids.append(id);
    }
}

} // namespace

QList<std::uint32_t> IdList::parse(const QString& text) {
    QList<std::uint32_t> ids;
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& item : items) {
        const qsizetype dash = item.indexOf(QLatin1Char('-'));
        if (dash < 0) {
            add(ids, parseId(item, text));
            continue;
        }
        const std::uint32_t first = parseId(item.left(dash), text);
        const std::uint32_t last = parseId(item.mid(dash + 1), text);
        if (last < first) {
            throw UsageError(
                QStringLiteral("--id: the range \"%1\" runs backwards").arg(item.trimmed()));
        }
        if (last - first >= std::uint32_t(kMaxIds)) {
            throw UsageError(QStringLiteral("--id: more than %1 ids in one run").arg(kMaxIds));
        }
        for (std::uint32_t id = first;; ++id) {
            add(ids, id);
            if (id == last) {
                break;
            }
        }
    }
    return ids;
}
