#include "SimOptions.h"

#include "HelpText.h"
#include "core/IdRanges.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QSet>
#include <functional>
#include <limits>

namespace devsim {
namespace {

// The most controllers one simulator runs behind its broker.
constexpr qsizetype kMaxIds = 100000;

struct UsageProblem {
    QString text;
};

int toInt(const QString& option, const QString& value, int low, int high) {
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < low || number > high) {
        throw UsageProblem{QStringLiteral("%1 needs a whole number from %2 to %3, not \"%4\"")
                               .arg(option)
                               .arg(low)
                               .arg(high)
                               .arg(value)};
    }
    return int(number);
}

double toFraction(const QString& option, const QString& value) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || number < 0.0 || number > 1.0) {
        throw UsageProblem{
            QStringLiteral("%1 needs a fraction from 0 to 1, not \"%2\"").arg(option, value)};
    }
    return number;
}

QList<std::uint32_t> toIds(const QString& option, const QString& value) {
    QString problem;
    std::optional<QList<std::uint32_t>> ids = parseIdRanges(option, value, kMaxIds, &problem);
    if (!ids) {
        throw UsageProblem{problem};
    }
    return *ids;
}

QByteArray toText(const QString& option, const QString& value, bool allowEmpty) {
    if ((!allowEmpty && value.isEmpty()) ||
        value.contains(QRegularExpression("[\\s\\x00-\\x1f]"))) {
        throw UsageProblem{
            QStringLiteral("%1 needs a text without blanks, not \"%2\"").arg(option, value)};
    }
    return value.toLatin1();
}

TargetedFault toFault(const QString& value) {
    QString problem;
    const std::optional<TargetedFault> fault = parseTargetedFault(value, &problem);
    if (!fault) {
        throw UsageProblem{problem};
    }
    return *fault;
}

using Setter = std::function<void(SimOptions&, const QString&)>;

struct OptionRule {
    QString name;
    bool takesValue;
    Setter set;
    QString defaultValue = {}; // taken when the value is left out
};

constexpr int kMaxMs = 600000;
constexpr int kMaxCount = 1000000;

QList<OptionRule> valueRules() {
    auto count = [](const char* name, int FaultOptions::*field) {
        return OptionRule{name, true, [name, field](SimOptions& o, const QString& v) {
                              o.faults.*field = toInt(name, v, 0, kMaxCount);
                          }};
    };
    auto ms = [](const char* name, int FaultOptions::*field) {
        return OptionRule{name, true, [name, field](SimOptions& o, const QString& v) {
                              o.faults.*field = toInt(name, v, 0, kMaxMs);
                          }};
    };
    return {
        {"--tcp", true,
         [](SimOptions& o, const QString& v) { o.tcpPort = toInt("--tcp", v, 0, 65535); }, "10001"},
        {"--broker", true,
         [](SimOptions& o, const QString& v) { o.brokerPort = toInt("--broker", v, 0, 65535); },
         "10002"},
        {"--pty", false, [](SimOptions& o, const QString&) { o.pty = true; }},
        {"--bind", true,
         [](SimOptions& o, const QString& v) {
             if (QHostAddress(v).isNull()) {
                 throw UsageProblem{
                     QStringLiteral("--bind needs an IP address, not \"%1\"").arg(v)};
             }
             o.bindAddress = v;
         }},
        {"--ids", true, [](SimOptions& o, const QString& v) { o.ids = toIds("--ids", v); }},
        {"--refuse-ids", true,
         [](SimOptions& o, const QString& v) { o.refuseIds = toIds("--refuse-ids", v); }},
        {"--idle-gap", true,
         [](SimOptions& o, const QString& v) { o.idleGapMs = toInt("--idle-gap", v, 1, 1000); }},
        {"--pace", true,
         [](SimOptions& o, const QString& v) { o.paceBaud = toInt("--pace", v, 0, 4000000); }},
        {"--storage", true, [](SimOptions& o, const QString& v) { o.storagePath = v; }},
        {"--image-out", true, [](SimOptions& o, const QString& v) { o.imageOutPath = v; }},
        {"--programmed", true, [](SimOptions& o, const QString& v) { o.programmedPath = v; }},
        {"--unit", true,
         [](SimOptions& o, const QString& v) {
             o.controller.unitType = toText("--unit", v, false);
         }},
        {"--version-text", true,
         [](SimOptions& o, const QString& v) {
             o.controller.version = toText("--version-text", v, false);
         }},
        {"--password", true,
         [](SimOptions& o, const QString& v) {
             o.controller.password = toText("--password", v, true);
         }},
        {"--banner-interval", true,
         [](SimOptions& o, const QString& v) {
             o.controller.bannerIntervalMs = toInt("--banner-interval", v, 10, kMaxMs);
         }},
        {"--reset-delay", true,
         [](SimOptions& o, const QString& v) {
             o.controller.resetDelayMs = toInt("--reset-delay", v, 0, kMaxMs);
         }},
        {"--pages", true,
         [](SimOptions& o, const QString& v) {
             o.controller.pages = toInt("--pages", v, 71, 65536);
         }},
        {"--dialect", true,
         [](SimOptions& o, const QString& v) { o.dialectFeatures += v.split(','); }},
        {"--progress-ms", true,
         [](SimOptions& o, const QString& v) {
             o.controller.dialect.progressMs = toInt("--progress-ms", v, 0, kMaxMs);
         }},
        {"--seed", true,
         [](SimOptions& o, const QString& v) {
             o.faults.seed = std::uint32_t(toInt("--seed", v, 0, std::numeric_limits<int>::max()));
         }},
        count("--drop-every", &FaultOptions::dropEvery),
        {"--drop-rate", true,
         [](SimOptions& o, const QString& v) { o.faults.dropRate = toFraction("--drop-rate", v); }},
        ms("--delay", &FaultOptions::delayMs),
        ms("--jitter", &FaultOptions::jitterMs),
        {"--split", true,
         [](SimOptions& o, const QString& v) { o.faults.split = toInt("--split", v, 1, 1000); }},
        ms("--gap", &FaultOptions::gapMs),
        count("--wrong-counter-every", &FaultOptions::wrongCounterEvery),
        count("--close-after-writes", &FaultOptions::closeAfterWrites),
        count("--garbage-every", &FaultOptions::garbageEvery),
        count("--bad-crc-every", &FaultOptions::badCrcEvery),
        count("--split-frame-every", &FaultOptions::splitFrameEvery),
        ms("--frame-gap", &FaultOptions::frameGapMs),
        count("--double-frame-every", &FaultOptions::doubleFrameEvery),
        {"--fault", true,
         [](SimOptions& o, const QString& v) { o.faults.targeted.append(toFault(v)); }},
        ms("--late-ms", &FaultOptions::lateMs),
        ms("--cut-gap", &FaultOptions::cutGapMs),
    };
}

// The options that only make sense together.
void checkTogether(const SimOptions& o) {
    if (o.refuseIds.isEmpty()) {
        return;
    }
    if (!o.brokerPort) {
        throw UsageProblem{QStringLiteral("--refuse-ids names controllers behind the broker: it "
                                          "needs --broker")};
    }
    const QSet<std::uint32_t> ids(o.ids.cbegin(), o.ids.cend());
    for (const std::uint32_t id : o.refuseIds) {
        if (!ids.contains(id)) {
            throw UsageProblem{
                QStringLiteral("--refuse-ids: %1 is not one of the controllers of --ids").arg(id)};
        }
    }
}

void applyDialect(SimOptions& o) {
    QString problem;
    const std::optional<Dialect> dialect =
        parseDialect(o.dialectFeatures, o.controller.dialect, &problem);
    if (!dialect) {
        throw UsageProblem{problem};
    }
    o.controller.dialect = *dialect;
}

void applyArguments(const QStringList& arguments, SimOptions& options) {
    const QList<OptionRule> rules = valueRules();
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        std::optional<QString> inlineValue;
        if (const qsizetype eq = name.indexOf('='); name.startsWith("--") && eq > 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
        }
        auto rule = std::find_if(rules.begin(), rules.end(),
                                 [&](const OptionRule& r) { return r.name == name; });
        if (rule == rules.end()) {
            throw UsageProblem{QStringLiteral("unknown option \"%1\"").arg(arguments[i])};
        }
        if (!rule->takesValue) {
            if (inlineValue) {
                throw UsageProblem{QStringLiteral("%1 takes no value").arg(name)};
            }
            rule->set(options, QString());
            continue;
        }
        const bool valueFollows = i + 1 < arguments.size() && !arguments[i + 1].startsWith("--");
        if (!inlineValue && !valueFollows && !rule->defaultValue.isEmpty()) {
            inlineValue = rule->defaultValue;
        }
        if (!inlineValue && i + 1 >= arguments.size()) {
            throw UsageProblem{QStringLiteral("%1 needs a value").arg(name)};
        }
        rule->set(options, inlineValue ? *inlineValue : arguments[++i]);
    }
}

} // namespace

ParseResult parseOptions(const QStringList& arguments) {
    ParseResult result;
    if (arguments.contains("--help") || arguments.contains("-h")) {
        result.kind = ParseResult::Kind::Help;
        result.message = helpText();
        return result;
    }
    try {
        applyArguments(arguments, result.options);
        applyDialect(result.options);
        checkTogether(result.options);
    } catch (const UsageProblem& problem) {
        result.kind = ParseResult::Kind::Error;
        result.message = problem.text;
        return result;
    }
    SimOptions& o = result.options;
    if (!o.tcpPort && !o.brokerPort && !o.pty) {
        o.tcpPort = 10001;
    }
    return result;
}

} // namespace devsim
