#include "cli/GlobalFlags.h"

#include "cli/CampaignUrl.h"
#include "cli/Duration.h"
#include "cli/IdList.h"
#include "cli/UsageError.h"

#include <optional>

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

// "P%" with P above 0, up to 100; empty when the text is no share.
std::optional<double> shareOf(const QString& value) {
    if (!value.endsWith(QLatin1Char('%'))) {
        return std::nullopt;
    }
    bool ok = false;
    const double percent = value.chopped(1).toDouble(&ok);
    if (!ok || !(percent > 0 && percent <= 100)) {
        return std::nullopt;
    }
    return percent;
}

// "K" failures, or "P%" of a stage's ids.
void parseMaxFailures(const QString& value, FleetOptions& options) {
    if (!value.endsWith(QLatin1Char('%'))) {
        options.maxFailures = parseCount(QStringLiteral("--max-failures"), value, 1 << 30);
        return;
    }
    const std::optional<double> percent = shareOf(value);
    if (!percent) {
        throw UsageError(QStringLiteral("--max-failures: \"%1\" is not a count K nor a share P% "
                                        "of the ids (P above 0, up to 100)")
                             .arg(value));
    }
    options.maxFailuresPercent = *percent;
    options.maxFailures = 1;
}

// "1,10,25%,100%": growing totals of ids, counts and shares each growing among their kind.
QList<FleetOptions::StageBound> parseStages(const QString& value) {
    QList<FleetOptions::StageBound> stages;
    FleetOptions::StageBound highest;
    for (const QString& item : value.split(QLatin1Char(','))) {
        FleetOptions::StageBound bound;
        if (const std::optional<double> percent = shareOf(item.trimmed())) {
            bound.percent = *percent;
        } else {
            bound.count = parseCount(QStringLiteral("--wave"), item.trimmed(), 1 << 30);
        }
        if ((bound.count > 0 && bound.count <= highest.count) ||
            (bound.percent > 0 && bound.percent <= highest.percent)) {
            throw UsageError(QStringLiteral("--wave: \"%1\" does not grow: each stage is the "
                                            "total of ids started by its end (1,10,25%,100%)")
                                 .arg(value));
        }
        highest.count = qMax(highest.count, bound.count);
        highest.percent = qMax(highest.percent, bound.percent);
        stages.append(bound);
    }
    return stages;
}

// "N/min", N from 1 to 60000 (a thousand a second).
int parseRate(const QString& value) {
    const QString unit = QStringLiteral("/min");
    bool ok = false;
    const int rate = value.endsWith(unit) ? value.chopped(unit.size()).toInt(&ok) : 0;
    if (!ok || rate < 1 || rate > 60000) {
        throw UsageError(
            QStringLiteral("--rate: \"%1\" is not N/min with N from 1 to 60000").arg(value));
    }
    return rate;
}

// One id's run: from 1 s to 7 days.
qint64 parseDeadline(const QString& value) {
    const std::optional<qint64> ms = Duration::parseMs(value);
    if (!ms || *ms < 1000 || *ms > 7 * 24 * 3600 * 1000LL) {
        throw UsageError(QStringLiteral("--deadline: \"%1\" is not a duration of 1s to 7 days "
                                        "(90s, 5m, 1h30m)")
                             .arg(value));
    }
    return *ms;
}

QString parseFileName(const QString& option, const QString& value) {
    if (value.isEmpty()) {
        throw UsageError(QStringLiteral("%1 needs a file name").arg(option));
    }
    return value;
}

QString parseCampaignUrl(const QString& value) {
    QString error;
    if (!CampaignUrl::parse(value, error).has_value()) {
        throw UsageError(QStringLiteral("--campaign: %1").arg(error));
    }
    return value;
}

// A shared campaign's lease: from 1 s to 1 hour.
qint64 parseLease(const QString& value) {
    const std::optional<qint64> ms = Duration::parseMs(value);
    if (!ms || *ms < 1000 || *ms > 3600 * 1000LL) {
        throw UsageError(
            QStringLiteral("--lease: \"%1\" is not a duration of 1s to 1h (30s, 2m)").arg(value));
    }
    return *ms;
}

// Takes a fleet option at i; false when the argument is none of them.
bool takeFleetOption(QStringList& arguments, qsizetype i, FleetOptions& options) {
    const QString& a = arguments.at(i);
    const auto is = [&a](const char* name) { return isOption(a, QLatin1String(name)); };
    const auto value = [&](const char* name) {
        return takeValue(arguments, i, QLatin1String(name));
    };
    if (is("--jobs")) {
        options.jobs =
            parseCount(QStringLiteral("--jobs"), value("--jobs"), FleetOptions::kMaxJobs);
    } else if (is("--wave")) {
        options.stages = parseStages(value("--wave"));
    } else if (is("--max-failures")) {
        parseMaxFailures(value("--max-failures"), options);
    } else if (is("--rate")) {
        options.ratePerMinute = parseRate(value("--rate"));
    } else if (is("--deadline")) {
        options.deadlineMs = parseDeadline(value("--deadline"));
    } else if (is("--events")) {
        options.eventsPath = parseFileName(QStringLiteral("--events"), value("--events"));
    } else if (is("--state")) {
        options.statePath = parseFileName(QStringLiteral("--state"), value("--state"));
    } else if (is("--campaign")) {
        options.campaignUrl = parseCampaignUrl(value("--campaign"));
    } else if (is("--lease")) {
        options.leaseMs = parseLease(value("--lease"));
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
    if (!flags.fleetOptions.statePath.isEmpty() && !flags.fleetOptions.campaignUrl.isEmpty()) {
        throw UsageError(QStringLiteral("--state and --campaign name two campaigns: give one"));
    }
    if (flags.fleetOptions.leaseMs > 0 && flags.fleetOptions.campaignUrl.isEmpty()) {
        throw UsageError(QStringLiteral("--lease is the lease of ids claimed from --campaign"));
    }
    return flags;
}
