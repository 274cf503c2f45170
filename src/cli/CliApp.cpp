#include "cli/CliApp.h"

#include "cli/CampaignCommand.h"
#include "cli/CommonOptions.h"
#include "cli/ExitCodes.h"
#include "cli/FleetRunner.h"
#include "cli/GlobalFlags.h"
#include "cli/HostPort.h"
#include "cli/ShellOutput.h"
#include "cli/Subcommand.h"
#include "cli/UsageError.h"
#include "core/DataDir.h"
#include "core/FileText.h"
#include "core/LoaderError.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>
#include <optional>

namespace {

const Subcommand* find(const QString& name) {
    for (const Subcommand& sub : allSubcommands()) {
        if (sub.name == name) {
            return &sub;
        }
    }
    return nullptr;
}

bool usesBroker(const QStringList& arguments) {
    for (const QString& a : arguments) {
        if (a == QStringLiteral("--broker") || a.startsWith(QStringLiteral("--broker="))) {
            return true;
        }
    }
    return false;
}

CliResult usageResult(const QString& subcommand, const QString& text) {
    ShellOutput::print(stderr, QStringLiteral("velkor-cli %1: %2\n").arg(subcommand, text));
    CliResult result = CliResult::withCode(kExitUsage, text);
    result.reason = text;
    return result;
}

// A journal entry that could not be written is said on standard error even with -q: the audit
// trail has a hole.
void warnOfJournal(const CliResult& result) {
    if (result.journalWritten == false) {
        ShellOutput::print(
            stderr, QStringLiteral("velkor-cli: warning: the journal entry was not written to "
                                   "%1: %2\n")
                        .arg(result.journalFile, result.journalError));
    }
}

// Nor does such a run pass for a success, though the controller did what it was asked: it
// exits 74 (the result object says journalWritten false).
void failUnjournalled(CliResult& result) {
    if (result.journalWritten == false && result.exitCode == kExitOk) {
        result.exitCode = kExitIoErr;
        result.reason =
            QStringLiteral("the journal entry was not written: %1").arg(result.journalError);
    }
}

CliResult runOne(const Subcommand& sub, const QStringList& arguments, const RunFlags& flags) {
    CliResult result;
    try {
        result = sub.run(arguments, flags);
    } catch (const UsageError& e) {
        return usageResult(sub.name, e.text());
    }
    failUnjournalled(result);
    return result;
}

// A fleet member's run: the subcommand's task, with what runOne adds to its result, and the
// journal's warning.
Task<CliResult> runMember(const Subcommand& sub, QStringList arguments, RunFlags flags) {
    CliResult result;
    try {
        result = co_await sub.task(arguments, flags);
    } catch (const UsageError& e) {
        result = usageResult(sub.name, e.text());
    }
    failUnjournalled(result);
    warnOfJournal(result);
    co_return result;
}

// The broker of every id, with the list of ids, from the connection of the first id that had
// one.
QString fleetConnection(const FleetRunner& fleet, const QString& idText) {
    for (const FleetMember& m : fleet.members()) {
        const QString connection = m.result.value(QStringLiteral("connection")).toString();
        if (!connection.isEmpty()) {
            return connection.left(connection.lastIndexOf(QStringLiteral(" ID: "))) +
                   QStringLiteral(" ID: ") + idText;
        }
    }
    return QString();
}

// The ids a rollout left out, for the text rendering: "not started (too many failures): 7, 8".
QString notStartedLine(const FleetRunner& fleet, QJsonArray& ids) {
    QStringList list;
    for (const FleetMember& m : fleet.members()) {
        if (!m.notStarted.isEmpty()) {
            ids.append(double(m.id));
            list << QString::number(m.id);
        }
    }
    if (list.isEmpty()) {
        return QString();
    }
    return QStringLiteral("not started (%1): %2\n").arg(fleet.stopReason(), list.join(", "));
}

CliResult fleetResult(const FleetRunner& fleet, const GlobalFlags& flags, int exitCode) {
    CliResult result = CliResult::withCode(exitCode);
    // The outcome of the id that gave the fleet its exit code ("not-found", not the code's
    // "connection-failed"); a stop or a rollout is named by the code.
    if (const FleetMember* deciding = fleet.deciding()) {
        result.outcome = deciding->outcome();
        result.reason = QStringLiteral("id %1: %2").arg(deciding->id).arg(deciding->status());
    }
    QJsonArray results;
    int succeeded = 0;
    for (const FleetMember& m : fleet.members()) {
        results.append(m.toJson());
        succeeded += m.exitCode == kExitOk ? 1 : 0;
        if (result.file.isEmpty()) {
            result.file = m.result.value(QStringLiteral("file")).toString();
        }
    }
    result.connection = fleetConnection(fleet, flags.idText);
    result.extra.insert(QStringLiteral("results"), results);
    result.status = QStringLiteral("%1 of %2 succeeded").arg(succeeded).arg(results.size());
    QJsonArray notStarted;
    const QString notStartedText = notStartedLine(fleet, notStarted);
    if (!notStarted.isEmpty()) {
        result.extra.insert(QStringLiteral("notStarted"), notStarted);
        result.extra.insert(QStringLiteral("stopReason"), fleet.stopReason());
        result.status +=
            QStringLiteral(", %1 not started: %2").arg(notStarted.size()).arg(fleet.stopReason());
    }
    if (!flags.json) {
        result.output = (fleet.outputs() + FleetDisplay::summary(fleet.members()) + notStartedText)
                            .toLocal8Bit();
    }
    return result;
}

// The broker the arguments name, as "host:port".
QString brokerOf(const QStringList& arguments) {
    const QString option = QStringLiteral("--broker");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        const QString value = a == option                               ? arguments.value(i + 1)
                              : a.startsWith(option + QLatin1Char('=')) ? a.mid(option.size() + 1)
                                                                        : QString();
        if (!value.isEmpty()) {
            const HostPort broker = HostPort::parse(value, option, 10002);
            return broker.host + QLatin1Char(':') + QString::number(broker.port);
        }
    }
    return QString();
}

// The text of the file's header records (S0): their bytes but the count and the checksum.
QString headerText(const QByteArray& text) {
    QByteArray header;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray record = line.trimmed();
        if (record.startsWith("S0") && record.size() >= 6) {
            header += QByteArray::fromHex(record.mid(4, record.size() - 6));
        }
    }
    return QString::fromLatin1(header).left(1024);
}

// What the campaign file is bound to: the subcommand, the broker, the firmware's SHA-256 and
// the other operands. Raises LoaderError when the firmware file cannot be read.
FleetCampaign::Purpose campaignPurpose(const Subcommand& sub, const QStringList& arguments,
                                       QStringList operands) {
    FleetCampaign::Purpose purpose;
    purpose.subcommand = sub.name;
    purpose.broker = brokerOf(arguments);
    if (sub.firmwareOperand && !operands.isEmpty()) {
        const QByteArray text = readFileText(operands.takeFirst());
        purpose.sha256 =
            QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
        purpose.header = headerText(text);
    }
    purpose.operands = operands;
    return purpose;
}

CliResult runFleet(const Subcommand& sub, const GlobalFlags& flags, const QStringList& arguments,
                   const RunFlags& runFlags) {
    const QString name = arguments.first();
    if (!usesBroker(arguments)) {
        throw UsageError(QStringLiteral("several ids need --broker"));
    }
    if (!sub.operands || !sub.task) {
        throw UsageError(QStringLiteral("%1 does not run over several ids").arg(name));
    }
    // The operands as the first id's member reads them: a bad command line fails here once.
    const QStringList operands = sub.operands(
        arguments + QStringList{QStringLiteral("--id"), QString::number(flags.fleet.first())});
    if (name == QStringLiteral("readback") && !operands.value(0).contains("{id}")) {
        throw UsageError(QStringLiteral("a fleet reads back into one file per id: put {id} into "
                                        "the name of OUT"));
    }
    // Each member runs as a lone velkor-cli --json would: its result is the fleet's to show.
    const RunFlags memberFlags{false, true, runFlags.undecodable};
    FleetRunner fleet(arguments, flags.fleet, flags.fleetOptions, flags.quiet || flags.json,
                      [&sub, memberFlags](const QStringList& memberArguments) {
                          return runMember(sub, memberArguments, memberFlags);
                      });
    QString error;
    try {
        if (!flags.fleetOptions.statePath.isEmpty() || !flags.fleetOptions.campaignUrl.isEmpty()) {
            fleet.purpose = campaignPurpose(sub, arguments, operands);
        }
    } catch (const LoaderError& e) {
        error = e.text();
    }
    if (!error.isEmpty() || !fleet.prepare(error)) {
        ShellOutput::report(name, error);
        return CliResult::withCode(kExitIoErr, error);
    }
    return fleetResult(fleet, flags, fleet.run());
}

// The result goes out once: as the text of its output, or as the JSON object.
void render(const CliResult& result, const QString& subcommand, bool json, qint64 elapsedMs) {
    if (!json) {
        ShellOutput::write(stdout, result.output);
        return;
    }
    const QByteArray text =
        QJsonDocument(result.toJson(subcommand, elapsedMs)).toJson(QJsonDocument::Compact);
    ShellOutput::write(stdout, text + '\n');
}

} // namespace

QString CliApp::usage() {
    QString text = QStringLiteral(
        "Usage: velkor-cli SUBCOMMAND [OPTIONS] [ARGUMENTS]\n"
        "Flashes, stores and reads back firmware of LUMET and DORN controllers from a shell.\n\n"
        "Subcommands:\n");
    for (const Subcommand& sub : allSubcommands()) {
        if (!sub.hidden) {
            text += QStringLiteral("  %1%2\n").arg(sub.name.leftJustified(12), sub.summary);
        }
    }
    text +=
        QStringLiteral("  %1%2\n")
            .arg(QStringLiteral("campaign").leftJustified(12),
                 QStringLiteral(
                     "status, ids, events, drain, stop or import of a campaign shared by workers"));
    text += QStringLiteral("\n") + QString::fromLatin1(CommonOptions::helpText());
    text += QStringLiteral(
        "\nResults go to standard output, progress and messages to standard error: a progress\n"
        "bar on a terminal, plain lines otherwise. Every operation writes its journal entry.\n"
        "'velkor-cli SUBCOMMAND --help' describes one subcommand.\n\n"
        "Fleets: --broker HOST --id 3,7,10-12 runs the subcommand for each id in turn, or up\n"
        "to --jobs N (1 to 1024) at once, all in this one process, and ends with a table of\n"
        "each id's outcome and time; with --json the result object has one entry per id under\n"
        "\"results\". In file names, {id} stands for the id (a fleet read-back needs it).\n"
        "A rollout runs in stages: --wave 1,10,25%,100% gives the ids started by the end of\n"
        "each stage (a count or a share of the ids; the rest are a last stage). A stage starts\n"
        "only when the one before ended under its failure limit: --max-failures K (or P% of\n"
        "the stage's ids) stops the fleet once a stage has K failures; without it every stage\n"
        "but the last must succeed whole. The ids left out are listed as not started, with the\n"
        "reason, and the fleet exits 79. --rate N/min starts one id every 60/N seconds at\n"
        "most; --deadline DURATION (90s, 5m, 1h30m) cancels an id still running after it\n"
        "(outcome deadline, exit 75). --events FILE (or - for standard output) appends one\n"
        "JSON line per event as it happens: fleet-started, stage-started, stage-held,\n"
        "id-started, id-progress (every 5 s), id-ended, stopping, fleet-ended.\n"
        "The first Ctrl-C, SIGTERM or SIGHUP drains: no id starts any more, running flashes\n"
        "finish, running stores stop at their next confirmed piece; a second one cancels the\n"
        "running ids at once. --state FILE appends a JSON line per id as it ends (id, outcome,\n"
        "exit code, resume position, time, and the subcommand, broker, firmware SHA-256 and\n"
        "operands it is for); a later run of the same campaign with the same FILE skips the\n"
        "ids that succeeded and resumes interrupted stores where they stopped, and a run of\n"
        "another campaign refuses the FILE. The ids running at once share 32 MB of answers: an\n"
        "answer longer than an id's share (4 MB alone, 400 KB with --jobs 80) is a flood.\n"
        "A campaign shared by several workers on any machines: --campaign\n"
        "postgresql://HOST:PORT/DB?name=NAME (parts left out come from PGHOST, PGPORT, PGUSER,\n"
        "PGPASSWORD, PGDATABASE) instead of --state. Each worker claims the next ids of its\n"
        "broker under a lease (--lease DURATION, default 30s) that its heartbeat renews; a\n"
        "worker that dies loses its ids to the others once the lease ran out. Stages, failure\n"
        "limits and --rate hold over every worker. 'velkor-cli campaign --help' shows the\n"
        "campaign's status, its ids, and drains or stops every worker.\n\n");
    text += DataDir::helpText() + QStringLiteral("\n");
    text += exitCodeHelp();
    return text;
}

int CliApp::run() {
    if (arguments_.size() < 2) {
        ShellOutput::print(stderr, usage());
        return kExitUsage;
    }
    const QString first = arguments_.at(1);
    if (first == QStringLiteral("--help") || first == QStringLiteral("-h") ||
        first == QStringLiteral("help")) {
        ShellOutput::print(stdout, usage());
        return kExitOk;
    }
    if (first == QStringLiteral("--version") || first == QStringLiteral("-V")) {
        ShellOutput::print(stdout, QStringLiteral("velkor-cli %1\ndata folder: %2\n")
                                       .arg(QStringLiteral(VELKOR_VERSION), DataDir::locate()));
        return kExitOk;
    }
    if (first == QStringLiteral("campaign")) {
        return CampaignCommand::run(arguments_.mid(2));
    }
    const Subcommand* sub = find(first);
    if (sub == nullptr) {
        ShellOutput::print(
            stderr, QStringLiteral("velkor-cli: unknown subcommand \"%1\"; see velkor-cli --help\n")
                        .arg(first));
        return kExitUsage;
    }
    QStringList arguments = arguments_.mid(1);
    QElapsedTimer clock;
    clock.start();
    GlobalFlags flags;
    try {
        flags = GlobalFlags::take(arguments);
    } catch (const UsageError& e) {
        ShellOutput::print(stderr, QStringLiteral("velkor-cli %1: %2\n").arg(first, e.text()));
        return kExitUsage;
    }
    if (flags.fleet.isEmpty() && flags.fleetOptions.rollout()) {
        ShellOutput::report(first, QStringLiteral("--wave, --max-failures, --rate, --deadline, "
                                                  "--events, --state and --campaign need several "
                                                  "ids in --id"));
        return kExitUsage;
    }
    CliResult result;
    try {
        const RunFlags runFlags{flags.quiet, flags.json, undecodable_};
        result = flags.fleet.isEmpty() ? runOne(*sub, arguments, runFlags)
                                       : runFleet(*sub, flags, arguments, runFlags);
    } catch (const UsageError& e) {
        result = usageResult(first, e.text());
    }
    warnOfJournal(result);
    render(result, first, flags.json, clock.elapsed());
    const int code = result.exitCode;
    return code;
}
