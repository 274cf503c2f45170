#include "cli/IdList.h"

#include "cli/UsageError.h"
#include "core/IdRanges.h"

QList<std::uint32_t> IdList::parse(const QString& text) {
    QString problem;
    std::optional<QList<std::uint32_t>> ids =
        parseIdRanges(QStringLiteral("--id"), text, kMaxIds, &problem);
    if (!ids) {
        throw UsageError(problem);
    }
    return *ids;
}
