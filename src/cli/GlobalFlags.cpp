#include "cli/GlobalFlags.h"

#include "cli/IdList.h"
#include "cli/UsageError.h"

namespace {

// The value of an option given as "--name VALUE" or "--name=VALUE" at i; removes both.
QString takeValue(QStringList& arguments, qsizetype i, const QString& name) {
    const QString a = arguments.at(i);
    if (a.startsWith(name + QLatin1Char('='))) {
        arguments.removeAt(i);
        return a.mid(name.size() + 1);
    }
    if (i + 1 >= arguments.size()) {
        throw UsageError(QStringLiteral("%1 needs a value").arg(name));
    }
    const QString value = arguments.at(i + 1);
    arguments.remove(i, 2);
    return value;
}

bool isOption(const QString& a, const QString& name) {
    return a == name || a.startsWith(name + QLatin1Char('='));
}

int parseJobs(const QString& value) {
    bool ok = false;
    const int jobs = value.toInt(&ok);
    if (!ok || jobs < 1 || jobs > GlobalFlags::kMaxJobs) {
        throw UsageError(QStringLiteral("--jobs: \"%1\" is not a number of 1 to %2")
                             .arg(value)
                             .arg(GlobalFlags::kMaxJobs));
    }
    return jobs;
}

} // namespace

GlobalFlags GlobalFlags::take(QStringList& arguments) {
    GlobalFlags flags;
    for (qsizetype i = 1; i < arguments.size();) {
        const QString& a = arguments.at(i);
        if (a == QStringLiteral("--")) {
            break;
        }
        if (a == QStringLiteral("--json")) {
            flags.json = true;
            arguments.removeAt(i);
        } else if (isOption(a, QStringLiteral("--jobs"))) {
            flags.jobs = parseJobs(takeValue(arguments, i, QStringLiteral("--jobs")));
        } else if (isOption(a, QStringLiteral("--id"))) {
            const QString value = takeValue(arguments, i, QStringLiteral("--id"));
            const QList<std::uint32_t> ids = IdList::parse(value);
            flags.idText = value;
            if (ids.size() > 1) {
                flags.fleet = ids;
            } else {
                // One id: the subcommand takes it as it stands.
                arguments.insert(i, QStringLiteral("--id"));
                arguments.insert(i + 1, QString::number(ids.first()));
                i += 2;
            }
        } else {
            if (a == QStringLiteral("-q") || a == QStringLiteral("--quiet")) {
                flags.quiet = true;
            }
            ++i;
        }
    }
    return flags;
}
