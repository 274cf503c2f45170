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

int parseCount(const QString& option, const QString& value, int highest) {
    bool ok = false;
    const int count = value.toInt(&ok);
    if (!ok || count < 1 || count > highest) {
        throw UsageError(QStringLiteral("%1: \"%2\" is not a number of 1 to %3")
                             .arg(option, value)
                             .arg(highest));
    }
    return count;
}

// "K" failures, or "P%" of the ids (P above 0, up to 100).
void parseMaxFailures(const QString& value, FleetOptions& options) {
    if (!value.endsWith(QLatin1Char('%'))) {
        options.maxFailures = parseCount(QStringLiteral("--max-failures"), value, 1 << 30);
        return;
    }
    bool ok = false;
    const double percent = value.chopped(1).toDouble(&ok);
    if (!ok || !(percent > 0 && percent <= 100)) {
        throw UsageError(QStringLiteral("--max-failures: \"%1\" is not a count K nor a share P% "
                                        "of the ids (P above 0, up to 100)")
                             .arg(value));
    }
    options.maxFailuresPercent = percent;
    options.maxFailures = 1;
}

// Takes a fleet option at i; false when the argument is none of them.
bool takeFleetOption(QStringList& arguments, qsizetype i, FleetOptions& options) {
    const QString& a = arguments.at(i);
    if (isOption(a, QStringLiteral("--jobs"))) {
        options.jobs =
            parseCount(QStringLiteral("--jobs"), takeValue(arguments, i, QStringLiteral("--jobs")),
                       FleetOptions::kMaxJobs);
    } else if (isOption(a, QStringLiteral("--wave"))) {
        options.wave = parseCount(QStringLiteral("--wave"),
                                  takeValue(arguments, i, QStringLiteral("--wave")), 1 << 30);
    } else if (isOption(a, QStringLiteral("--max-failures"))) {
        parseMaxFailures(takeValue(arguments, i, QStringLiteral("--max-failures")), options);
    } else if (isOption(a, QStringLiteral("--state"))) {
        options.statePath = takeValue(arguments, i, QStringLiteral("--state"));
        if (options.statePath.isEmpty()) {
            throw UsageError(QStringLiteral("--state needs a file name"));
        }
    } else {
        return false;
    }
    return true;
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
        } else if (takeFleetOption(arguments, i, flags.fleetOptions)) {
            continue;
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
