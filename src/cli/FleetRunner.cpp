#include "cli/FleetRunner.h"

#include "cli/ExitCodes.h"
#include "cli/FleetChannel.h"
#include "cli/ShellOutput.h"
#include "cli/ShellPlatform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>

namespace {

constexpr int kPollMs = 50;
// A running id's progress is an event at most this often.
constexpr qint64 kProgressEventMs = 5000;

} // namespace

// One running member: its task, the thread that carries it, its channel, and the result the
// task leaves behind. The task writes the result before it ends; the fleet reads it once the
// end reached the fleet's thread.
struct FleetRunner::Running {
    explicit Running(std::function<void(const QString&)> onLine) : channel(std::move(onLine)) {}

    FleetChannel channel;
    ::Task<void> body; // on the worker's thread only
    int worker = 0;
    qsizetype position = 0;
    int exitCode = kExitSoftware;
    QJsonObject result;
    bool expired = false;     // told to stop at its deadline
    qint64 reportedMs = 0;    // when its progress was last an event
    qint64 reportedDone = -1; // and how far it had got then
};

namespace {

// The result as the fleet keeps it, whatever the controller answered: the member's output (what
// it printed on standard output, then its result's) is cut to the channel's bound, and the bytes
// left out are counted.
QJsonObject keptResult(const CliResult& result, FleetChannel& channel, const QString& name,
                       qint64 elapsedMs) {
    CliResult kept = result;
    const QByteArray output = channel.output() + result.output;
    const qint64 dropped =
        channel.droppedOutput() + qMax<qint64>(0, output.size() - FleetChannel::kMaxOutput);
    kept.output = output.left(FleetChannel::kMaxOutput);
    QJsonObject o = kept.toJson(name, elapsedMs);
    if (dropped > 0) {
        o.insert(QStringLiteral("outputDropped"), double(dropped));
    }
    return o;
}

// A member's task. Nothing may leave it as an exception: nobody awaits it. ended runs last.
::Task<void> runMember(int& exitCode, QJsonObject& kept, FleetChannel& channel,
                       FleetRunner::Run run, QStringList arguments, std::function<void()> ended) {
    QElapsedTimer clock;
    clock.start();
    CliResult result;
    try {
        result = co_await run(arguments);
    } catch (const std::exception& e) {
        result =
            CliResult::withCode(kExitSoftware, QStringLiteral("internal error: %1").arg(e.what()));
    } catch (...) {
        result = CliResult::withCode(kExitSoftware, QStringLiteral("internal error"));
    }
    exitCode = result.exitCode;
    kept = keptResult(result, channel, arguments.first(), clock.elapsed());
    ended();
}

// An id cancelled at its deadline failed for that: the outcome says so, whatever the cancel
// left (a store's resume position stays).
void ranPastDeadline(FleetMember& m, qint64 deadlineMs) {
    m.exitCode = kExitTempFail;
    m.result.insert(QStringLiteral("exitCode"), m.exitCode);
    m.result.insert(QStringLiteral("outcome"), QStringLiteral("deadline"));
    m.result.insert(QStringLiteral("reason"),
                    QStringLiteral("still running after --deadline of %1 s")
                        .arg(double(deadlineMs) / 1000.0, 0, 'f', 1));
}

} // namespace

FleetRunner::FleetRunner(QStringList arguments, const QList<std::uint32_t>& ids,
                         FleetOptions options, bool quiet, Run run)
    : arguments_(std::move(arguments)), options_(std::move(options)), run_(std::move(run)),
      display_(members_, FleetDisplay::modeFor(quiet)) {
    for (const std::uint32_t id : ids) {
        FleetMember m;
        m.id = id;
        members_.append(m);
    }
    tasks_.resize(std::size_t(members_.size()));
    starter_.setSingleShot(true);
    QObject::connect(&starter_, &QTimer::timeout, [this] {
        startNext();
        quitWhenIdle();
    });
}

FleetRunner::~FleetRunner() {
    // Only an exception leaves run() with members running: they are told to stop and awaited,
    // since their tasks use this object; none starts meanwhile.
    stopSignal_ = SIGTERM;
    for (auto& task : tasks_) {
        if (task) {
            task->channel.stop(SIGTERM);
        }
    }
    while (running_ > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    workers_.reset();
    ShellPlatform::releaseStopSignals();
}

bool FleetRunner::prepare(QString& error) {
    if (!openStore(error)) {
        return false;
    }
    for (int i = 0; i < members_.size(); ++i) {
        FleetMember& m = members_[i];
        const auto earlier = store_ ? store_->earlier(m.id) : std::nullopt;
        if (earlier && earlier->exitCode == kExitOk) {
            m.state = FleetMember::State::Skipped;
            m.exitCode = kExitOk;
            continue;
        }
        if (earlier && arguments_.first() == QStringLiteral("store")) {
            m.resumeFrom = earlier->resume;
        }
        if (claims_ == nullptr) {
            order_.append(i);
        }
    }
    // A shared campaign's rules are the campaign's (CampaignClaims), over every worker: this
    // worker's own rollout only follows the ids it starts.
    rollout_.emplace(claims_ != nullptr ? FleetOptions{} : options_,
                     claims_ != nullptr ? members_.size() : order_.size());
    if (store_ && store_->keepsEvents()) {
        events_.keepAlsoIn(
            [store = store_.get()](const QByteArray& line) { store->keepEvent(line); });
    }
    return options_.eventsPath.isEmpty() || events_.open(options_.eventsPath, error);
}

int FleetRunner::run() {
    clock_.start();
    // The program's path is worked out once, here: the members' threads only read it.
    QCoreApplication::applicationDirPath();
    // The first signal drains, the second cancels, a third of a kind ends the program.
    ShellPlatform::catchStopSignals(2);
    events_.fleetStarted(arguments_.first(), plan());
    display_.redraw();
    workers_ = std::make_unique<FleetWorkers>(options_.jobs);
    QEventLoop loop;
    loop_ = &loop;
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, [this] { poll(); });
    poller.start(kPollMs);
    startNext();
    if (running_ > 0 || starter_.isActive()) {
        loop.exec();
    }
    loop_ = nullptr;
    if (claims_ != nullptr) {
        settleClaims();
    }
    display_.redraw();
    const int code = exitCode();
    events_.fleetEnded(code, clock_.elapsed(), counts());
    if (store_) {
        store_->flushEvents();
    }
    return code;
}

void FleetRunner::poll() {
    takeStopSignals();
    enforceDeadlines();
    for (qsizetype i = 0; i < members_.size(); ++i) {
        if (const auto& task = tasks_[std::size_t(i)]) {
            const FleetChannel::Snapshot now = task->channel.snapshot();
            FleetMember& m = members_[i];
            m.message = now.message;
            m.done = now.done;
            m.total = now.total;
            reportProgress(*task, m);
        }
    }
    display_.redraw();
}

// Signals are counted, not only noted: two that come within one poll still drain and cancel.
void FleetRunner::takeStopSignals() {
    const int caught = ShellPlatform::stopsCaught();
    if (caught == stopsTaken_) {
        return;
    }
    const int latest = ShellPlatform::takeStopSignal();
    const int signal = latest != 0 ? latest : stopSignal_;
    if (stopsTaken_ == 0) {
        drain(signal);
    }
    if (caught >= 2) {
        cancelRunning(signal);
    }
    stopsTaken_ = caught;
    quitWhenIdle();
}

// No id starts any more; the running ones are told to end on their own.
void FleetRunner::drain(int signal) {
    stopSignal_ = signal;
    starter_.stop();
    if (claims_ != nullptr) {
        claims_->release();
    }
    leaveNotStarted(QStringLiteral("stopped by signal"), ShellPlatform::exitCodeForSignal(signal));
    for (qsizetype i = 0; i < members_.size(); ++i) {
        if (const auto& task = tasks_[std::size_t(i)]) {
            task->channel.drain(signal);
            members_[i].stopped = QStringLiteral("drained");
        }
    }
    events_.stopping("drain", ShellPlatform::signalName(signal), running_);
    display_.notice(QStringLiteral("%1: draining %2 running ids (stores stop at their next "
                                   "confirmed piece); a second signal cancels them")
                        .arg(QLatin1String(ShellPlatform::signalName(signal)))
                        .arg(running_));
}

// Every running member gets the signal, so each ends as it would alone.
void FleetRunner::cancelRunning(int signal) {
    for (qsizetype i = 0; i < members_.size(); ++i) {
        if (const auto& task = tasks_[std::size_t(i)]) {
            task->channel.stop(signal);
            members_[i].stopped = QStringLiteral("cancelled");
        }
    }
    events_.stopping("cancel", ShellPlatform::signalName(signal), running_);
    display_.notice(QStringLiteral("%1: cancelling %2 running ids")
                        .arg(QLatin1String(ShellPlatform::signalName(signal)))
                        .arg(running_));
}

void FleetRunner::enforceDeadlines() {
    if (options_.deadlineMs <= 0) {
        return;
    }
    const qint64 now = clock_.elapsed();
    for (qsizetype i = 0; i < members_.size(); ++i) {
        const auto& task = tasks_[std::size_t(i)];
        if (task && !task->expired && now - members_[i].startMs >= options_.deadlineMs) {
            task->expired = true;
            task->channel.expire();
        }
    }
}

// At most one event per id every few seconds, and only when it got on.
void FleetRunner::reportProgress(Running& task, FleetMember& m) {
    const qint64 now = clock_.elapsed();
    if (!events_.isOpen() || now - task.reportedMs < kProgressEventMs ||
        m.done == task.reportedDone) {
        return;
    }
    task.reportedMs = now;
    task.reportedDone = m.done;
    events_.idProgress(m);
}

void FleetRunner::quitWhenIdle() {
    if (running_ == 0 && !starter_.isActive() && loop_ != nullptr) {
        loop_->quit();
    }
}

// The ids not started yet stay so, with the reason and the exit code the table shows for them.
void FleetRunner::leaveNotStarted(const QString& reason, int exitCode) {
    if (stopReason_.isEmpty() && next_ < order_.size()) {
        stopReason_ = reason;
    }
    for (; next_ < order_.size(); ++next_) {
        FleetMember& m = members_[order_[next_]];
        m.notStarted = reason;
        m.exitCode = exitCode;
    }
}

void FleetRunner::startNext() {
    if (claims_ != nullptr) {
        startClaimed();
        return;
    }
    while (stopSignal_ == 0 && running_ < options_.jobs && next_ < order_.size()) {
        const FleetRollout::Gate gate = rollout_->gate(next_);
        if (gate == FleetRollout::Gate::Wait) {
            break;
        }
        if (gate == FleetRollout::Gate::Stop) {
            holdStage();
            leaveNotStarted(rollout_->stopReason(), kExitRolloutStopped);
            break;
        }
        if (!rateAllowsStart()) {
            break;
        }
        start(next_++);
    }
}

// --rate: one start every 60/N seconds; a start that must wait has the starter run it then.
bool FleetRunner::rateAllowsStart() {
    if (options_.ratePerMinute <= 0) {
        return true;
    }
    const qint64 now = clock_.elapsed();
    if (double(now) < nextStartMs_) {
        starter_.start(int(std::ceil(nextStartMs_ - double(now))));
        return false;
    }
    nextStartMs_ = qMax(double(now), nextStartMs_) + 60000.0 / options_.ratePerMinute;
    return true;
}

// The stage of the next id never starts, or starts no more of its ids: the event names the
// stage whose failures reached its limit.
void FleetRunner::holdStage() {
    const int stage = rollout_->stageOf(next_);
    const int failed = rollout_->stoppedStage();
    events_.stage("stage-held", stage, rollout_->stageSize(stage),
                  QStringLiteral("%1: %2 of the %3 ids of stage %4 failed")
                      .arg(rollout_->stopReason())
                      .arg(rollout_->failures(failed))
                      .arg(rollout_->stageSize(failed))
                      .arg(failed + 1));
}

QStringList FleetRunner::argumentsOf(const FleetMember& m) const {
    QStringList arguments;
    for (const QString& a : arguments_) {
        arguments.append(QString(a).replace(QStringLiteral("{id}"), QString::number(m.id)));
    }
    if (!m.resumeFrom.isEmpty()) {
        arguments = FleetCampaign::resumed(arguments, m.resumeFrom);
    }
    return arguments << QStringLiteral("--id") << QString::number(m.id);
}

void FleetRunner::start(qsizetype position) {
    const int index = order_[position];
    FleetMember& m = members_[index];
    auto task = std::make_unique<Running>(display_.lineSink(m.id));
    task->position = position;
    task->channel.answerLimit = FleetChannel::answerLimitFor(options_.jobs);
    task->worker = workers_->take();
    Running* t = task.get();
    workers_->post(t->worker, [this, t, index, run = run_, arguments = argumentsOf(m)] {
        const FleetChannel::Scope scope(&t->channel);
        t->body = runMember(t->exitCode, t->result, t->channel, run, arguments,
                            [this, t, index] { memberEnded(*t, index); });
        t->body.run();
    });
    tasks_[std::size_t(index)] = std::move(task);
    m.state = FleetMember::State::Running;
    m.startMs = clock_.elapsed();
    t->reportedMs = m.startMs;
    ++running_;
    if (const int stage = rollout_->stageOf(position); stage > startedStage_) {
        startedStage_ = stage;
        events_.stage("stage-started", stage, rollout_->stageSize(stage));
    }
    events_.idStarted(m, rollout_->stageOf(position));
    display_.changed(m, QStringLiteral("started"));
}

// On the member's thread, as its task's last step: the task is let go there once it has
// ended (after this call returns), then the fleet's thread hears of the end.
void FleetRunner::memberEnded(Running& running, int index) {
    workers_->post(running.worker, [this, &running, index] {
        {
            const FleetChannel::Scope scope(&running.channel);
            running.body = {};
        }
        QMetaObject::invokeMethod(
            &context_, [this, index] { finished(index); }, Qt::QueuedConnection);
    });
}

void FleetRunner::finished(int index) {
    std::unique_ptr<Running> task = std::move(tasks_[std::size_t(index)]);
    if (!task) {
        return;
    }
    workers_->release(task->worker);
    FleetMember& m = members_[index];
    m.result = task->result;
    m.exitCode = task->exitCode;
    m.elapsedMs = clock_.elapsed() - m.startMs;
    m.state = FleetMember::State::Done;
    if (task->expired && m.exitCode != kExitOk) {
        ranPastDeadline(m, options_.deadlineMs);
    }
    --running_;
    rollout_->ended(task->position, m.exitCode == kExitOk);
    task.reset();
    record(m);
    events_.idEnded(m);
    display_.changed(m,
                     QStringLiteral("%1 (%2) %3").arg(m.outcome()).arg(m.exitCode).arg(m.status()));
    startNext();
    quitWhenIdle();
}

// The id's outcome in the campaign; one that cannot be recorded is said, and the run goes on.
void FleetRunner::record(const FleetMember& m) {
    if (!store_) {
        return;
    }
    QString error;
    if (!store_->record(m, error)) {
        ShellOutput::print(
            stderr, QStringLiteral("velkor-cli: warning: the outcome of id %1 was not written to "
                                   "the campaign: %2\n")
                        .arg(m.id)
                        .arg(error));
    }
}

// What the run is to do, for the first event.
QJsonObject FleetRunner::plan() const {
    QJsonArray stages;
    for (int stage = 0; stage < rollout_->stageCount(); ++stage) {
        stages.append(QJsonObject{{QStringLiteral("ids"), double(rollout_->stageSize(stage))},
                                  {QStringLiteral("failureLimit"), rollout_->failureLimit(stage)}});
    }
    return {{QStringLiteral("ids"), double(members_.size())},
            {QStringLiteral("skipped"), double(std::count_if(members_.begin(), members_.end(),
                                                             [](const FleetMember& m) {
                                                                 return m.state ==
                                                                        FleetMember::State::Skipped;
                                                             }))},
            {QStringLiteral("jobs"), options_.jobs},
            {QStringLiteral("stages"), stages},
            {QStringLiteral("ratePerMinute"), options_.ratePerMinute},
            {QStringLiteral("deadlineMs"), double(options_.deadlineMs)}};
}

// How the ids ended, for the last event.
QJsonObject FleetRunner::counts() const {
    QJsonObject counts;
    const auto add = [&counts](const QString& key) {
        counts.insert(key, counts.value(key).toInt() + 1);
    };
    for (const FleetMember& m : members_) {
        add(!m.notStarted.isEmpty() ? QStringLiteral("notStarted")
            : m.state == FleetMember::State::Skipped || m.outcome() == QStringLiteral("skipped")
                ? QStringLiteral("skipped")
            : m.exitCode == kExitOk ? QStringLiteral("succeeded")
                                    : QStringLiteral("failed"));
        if (!m.stopped.isEmpty()) {
            add(m.stopped);
        }
    }
    return counts;
}

int FleetRunner::exitCode() const {
    if (stopSignal_ != 0) {
        return ShellPlatform::exitCodeForSignal(stopSignal_); // 130, 143 or 129
    }
    if (!stopReason_.isEmpty()) {
        return kExitRolloutStopped;
    }
    const FleetMember* first = deciding();
    return first != nullptr ? first->exitCode : kExitOk;
}

const FleetMember* FleetRunner::deciding() const {
    if (stopSignal_ != 0 || !stopReason_.isEmpty()) {
        return nullptr;
    }
    for (const FleetMember& m : members_) {
        if (m.exitCode != kExitOk) {
            return &m;
        }
    }
    return nullptr;
}

QString FleetRunner::outputs() const {
    QString text;
    for (const FleetMember& m : members_) {
        const QString output = m.result.value(QStringLiteral("output")).toString();
        for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            text += QStringLiteral("[%1] %2\n").arg(m.id).arg(line);
        }
    }
    return text;
}

// ---- A campaign shared through a database ----

bool FleetRunner::openStore(QString& error) {
    QList<std::uint32_t> ids;
    for (const FleetMember& m : members_) {
        ids.append(m.id);
    }
    store_ = CampaignStore::make(options_, purpose, ids);
    if (!store_) {
        return true;
    }
    if (!store_->open(error)) {
        return false;
    }
    for (const QString& warning : store_->warnings()) {
        ShellOutput::print(stderr, QStringLiteral("velkor-cli: warning: %1\n").arg(warning));
    }
    claims_ = store_->claims();
    if (claims_ != nullptr) {
        beater_.setInterval(claims_->beatMs());
        QObject::connect(&beater_, &QTimer::timeout, [this] { campaignBeat(); });
        beater_.start();
    }
    return true;
}

// Ids are claimed one by one as jobs come free; with none to claim now (a stage still running
// on other workers, ids leased to them) the starter asks again a little later.
void FleetRunner::startClaimed() {
    while (stopSignal_ == 0 && stopReason_.isEmpty() && running_ < options_.jobs) {
        const CampaignClaims::Offer offer = claims_->next(options_.jobs - running_);
        if (offer.kind == CampaignClaims::Offer::Kind::Wait) {
            sayCampaignTrouble(offer.reason);
            starter_.start(offer.waitMs);
            return;
        }
        if (offer.kind == CampaignClaims::Offer::Kind::Done) {
            return;
        }
        if (offer.kind == CampaignClaims::Offer::Kind::Stop) {
            campaignStop(offer.control, offer.reason);
            return;
        }
        const auto member =
            std::find_if(members_.begin(), members_.end(),
                         [&offer](const FleetMember& m) { return m.id == offer.id; });
        member->resumeFrom = offer.resume;
        order_.append(int(member - members_.begin()));
        next_ = order_.size() - 1;
        start(next_++);
    }
}

void FleetRunner::campaignBeat() {
    const CampaignClaims::Beat beat = claims_->beat();
    sayCampaignTrouble(beat.trouble);
    if (beat.leaseAtRisk) {
        // Another worker may claim these ids once their lease ends: they stop here first.
        campaignStop(QStringLiteral("stop"),
                     QStringLiteral("the campaign's database is out of reach"));
    }
    for (const std::uint32_t id : beat.lost) {
        loseId(id);
    }
    if (!beat.control.isEmpty() || !beat.held.isEmpty()) {
        campaignStop(beat.control, beat.held);
    }
    quitWhenIdle();
}

// control "drain": the running ids end on their own, "stop": they are cancelled; else the
// rollout is held for `reason`. No id starts any more either way.
void FleetRunner::campaignStop(const QString& control, const QString& reason) {
    const int level = control == QStringLiteral("stop") ? 2 : control.isEmpty() ? 0 : 1;
    if (stopSignal_ != 0 || (campaignStops_ >= level && !stopReason_.isEmpty())) {
        return;
    }
    const bool first = stopReason_.isEmpty();
    campaignStops_ = level;
    stopReason_ = level == 0 || !reason.isEmpty() ? reason
                  : level == 2                    ? QStringLiteral("stopped by the campaign")
                                                  : QStringLiteral("drained by the campaign");
    starter_.stop();
    claims_->release();
    if (first && level == 0) {
        events_.stage("stage-held", 0, 0, reason);
    }
    if (level == 0) {
        return;
    }
    for (qsizetype i = 0; i < members_.size(); ++i) {
        if (const auto& task = tasks_[std::size_t(i)]) {
            level == 2 ? task->channel.stop(SIGTERM) : task->channel.drain(SIGTERM);
            members_[i].stopped =
                level == 2 ? QStringLiteral("cancelled") : QStringLiteral("drained");
        }
    }
    events_.stopping(level == 2 ? "cancel" : "drain", "campaign", running_);
    display_.notice(
        QStringLiteral("campaign: %1; %2 running ids %3")
            .arg(reason.isEmpty() ? stopReason_ : reason)
            .arg(running_)
            .arg(level == 2 ? QStringLiteral("cancelled") : QStringLiteral("end on their own")));
}

// Another worker holds the id now (this worker's lease ran out): it stops here at once.
void FleetRunner::loseId(std::uint32_t id) {
    for (qsizetype i = 0; i < members_.size(); ++i) {
        const auto& task = tasks_[std::size_t(i)];
        if (members_[i].id == id && task) {
            task->channel.stop(SIGTERM);
            members_[i].stopped = QStringLiteral("lost");
            display_.notice(
                QStringLiteral("campaign: id %1 was claimed by another worker; cancelled").arg(id));
        }
    }
}

// The ids this worker did not run: what the campaign says of them (another worker's outcome),
// else not started.
void FleetRunner::settleClaims() {
    beater_.stop();
    claims_->release();
    const QString reason = stopSignal_ != 0 ? QStringLiteral("stopped by signal") : stopReason_;
    for (FleetMember& m : members_) {
        if (m.state != FleetMember::State::Waiting) {
            continue;
        }
        const auto row = claims_->elsewhere(m.id);
        if (row &&
            (row->state == QStringLiteral("succeeded") || row->state == QStringLiteral("failed"))) {
            m.state = FleetMember::State::Done;
            m.exitCode = row->exitCode;
            m.result =
                QJsonObject{{QStringLiteral("outcome"), row->outcome},
                            {QStringLiteral("exitCode"), row->exitCode},
                            {QStringLiteral("worker"), row->worker},
                            {QStringLiteral("status"),
                             QStringLiteral("%1 (worker %2)").arg(row->status, row->worker)}};
            continue;
        }
        m.notStarted = reason.isEmpty() ? QStringLiteral("left to other workers") : reason;
        m.exitCode =
            stopSignal_ != 0 ? ShellPlatform::exitCodeForSignal(stopSignal_) : kExitRolloutStopped;
        if (stopReason_.isEmpty() && stopSignal_ == 0) {
            stopReason_ = m.notStarted;
        }
    }
}

// A database that cannot be reached is said once per reason, not at every heartbeat.
void FleetRunner::sayCampaignTrouble(const QString& trouble) {
    if (!trouble.isEmpty() && trouble != troubleSaid_) {
        ShellOutput::print(stderr,
                           QStringLiteral("velkor-cli: warning: campaign: %1\n").arg(trouble));
    }
    troubleSaid_ = trouble;
}
