#include "cli/FleetRunner.h"

#include "cli/ExitCodes.h"
#include "cli/FleetChannel.h"
#include "cli/ShellOutput.h"
#include "cli/ShellPlatform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <csignal>

namespace {

constexpr int kPollMs = 50;

} // namespace

// One running member: its thread, its channel, and the result the thread leaves behind. The
// thread writes the result before it ends; the fleet reads it after the thread's end reached it.
struct FleetRunner::Task {
    explicit Task(std::function<void(const QString&)> onLine) : channel(std::move(onLine)) {}

    FleetChannel channel;
    std::unique_ptr<QThread> thread;
    qsizetype position = 0;
    int exitCode = kExitSoftware;
    QJsonObject result;
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

// The body of a member's thread. Nothing may leave it as an exception: that would end the process.
void runMember(int& exitCode, QJsonObject& kept, FleetChannel& channel, const FleetRunner::Run& run,
               const QStringList& arguments) {
    FleetChannel::Scope scope(&channel);
    QElapsedTimer clock;
    clock.start();
    CliResult result;
    try {
        result = run(arguments);
    } catch (const std::exception& e) {
        result =
            CliResult::withCode(kExitSoftware, QStringLiteral("internal error: %1").arg(e.what()));
    } catch (...) {
        result = CliResult::withCode(kExitSoftware, QStringLiteral("internal error"));
    }
    exitCode = result.exitCode;
    kept = keptResult(result, channel, arguments.first(), clock.elapsed());
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
}

FleetRunner::~FleetRunner() {
    // Only an exception leaves run() with members running: they are told to stop and awaited,
    // since their threads use this object.
    for (auto& task : tasks_) {
        if (task) {
            task->channel.stop(SIGTERM);
            task->thread->wait();
        }
    }
    ShellPlatform::releaseStopSignals();
}

bool FleetRunner::prepare(QString& error) {
    if (!options_.statePath.isEmpty()) {
        campaign_.emplace(options_.statePath, purpose);
        if (!campaign_->open(error)) {
            return false;
        }
        for (const QString& warning : campaign_->warnings()) {
            ShellOutput::print(stderr, QStringLiteral("velkor-cli: warning: %1\n").arg(warning));
        }
    }
    for (int i = 0; i < members_.size(); ++i) {
        FleetMember& m = members_[i];
        const auto earlier = campaign_ ? campaign_->earlier(m.id) : std::nullopt;
        if (earlier && earlier->exitCode == kExitOk) {
            m.state = FleetMember::State::Skipped;
            m.exitCode = kExitOk;
            continue;
        }
        if (earlier && arguments_.first() == QStringLiteral("store")) {
            m.resumeFrom = earlier->resume;
        }
        order_.append(i);
    }
    rollout_.emplace(options_, order_.size());
    return true;
}

int FleetRunner::run() {
    clock_.start();
    // The program's path is worked out once, here: the members' threads only read it.
    QCoreApplication::applicationDirPath();
    ShellPlatform::catchStopSignals();
    display_.redraw();
    QEventLoop loop;
    loop_ = &loop;
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, [this] { poll(); });
    poller.start(kPollMs);
    startNext();
    if (running_ > 0) {
        loop.exec();
    }
    loop_ = nullptr;
    display_.redraw();
    return exitCode();
}

void FleetRunner::poll() {
    const int signal = ShellPlatform::takeStopSignal();
    if (signal != 0 && stopSignal_ == 0) {
        // Every running member gets the same signal, so each ends as it would alone.
        stopSignal_ = signal;
        for (auto& task : tasks_) {
            if (task) {
                task->channel.stop(signal);
            }
        }
        leaveNotStarted(QStringLiteral("stopped by signal"),
                        ShellPlatform::exitCodeForSignal(signal));
    }
    for (qsizetype i = 0; i < members_.size(); ++i) {
        if (const auto& task = tasks_[std::size_t(i)]) {
            const FleetChannel::Snapshot now = task->channel.snapshot();
            members_[i].message = now.message;
            members_[i].done = now.done;
            members_[i].total = now.total;
        }
    }
    display_.redraw();
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
    while (stopSignal_ == 0 && running_ < options_.jobs && next_ < order_.size()) {
        const FleetRollout::Gate gate = rollout_->gate(next_);
        if (gate == FleetRollout::Gate::Wait) {
            break;
        }
        if (gate == FleetRollout::Gate::Stop) {
            leaveNotStarted(rollout_->stopReason(), kExitRolloutStopped);
            break;
        }
        start(next_++);
    }
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
    auto task = std::make_unique<Task>(display_.lineSink(m.id));
    task->position = position;
    task->channel.answerLimit = FleetChannel::answerLimitFor(options_.jobs);
    Task* t = task.get();
    const QStringList arguments = argumentsOf(m);
    task->thread.reset(QThread::create([t, run = run_, arguments] {
        runMember(t->exitCode, t->result, t->channel, run, arguments);
    }));
    QObject::connect(
        t->thread.get(), &QThread::finished, &context_, [this, index] { finished(index); },
        Qt::QueuedConnection);
    tasks_[std::size_t(index)] = std::move(task);
    m.state = FleetMember::State::Running;
    m.startMs = clock_.elapsed();
    ++running_;
    display_.changed(m, QStringLiteral("started"));
    t->thread->start();
    if (!t->thread->isRunning() && !t->thread->isFinished()) {
        t->result = CliResult::withCode(kExitSoftware, QStringLiteral("no thread could be started"))
                        .toJson(arguments.first(), 0);
        QMetaObject::invokeMethod(
            &context_, [this, index] { finished(index); }, Qt::QueuedConnection);
    }
}

void FleetRunner::finished(int index) {
    std::unique_ptr<Task> task = std::move(tasks_[std::size_t(index)]);
    if (!task) {
        return;
    }
    task->thread->wait();
    FleetMember& m = members_[index];
    m.result = task->result;
    m.exitCode = task->exitCode;
    m.elapsedMs = clock_.elapsed() - m.startMs;
    m.state = FleetMember::State::Done;
    --running_;
    rollout_->ended(task->position, m.exitCode == kExitOk);
    task.reset();
    record(m);
    display_.changed(
        m,
        QStringLiteral("%1 (%2) %3").arg(exitCodeName(m.exitCode)).arg(m.exitCode).arg(m.status()));
    startNext();
    if (running_ == 0 && loop_ != nullptr) {
        loop_->quit();
    }
}

// The id's line in the campaign file; a line that cannot be written is said, and the run goes on.
void FleetRunner::record(const FleetMember& m) {
    if (!campaign_) {
        return;
    }
    QJsonObject line{
        {QStringLiteral("id"), double(m.id)},
        {QStringLiteral("outcome"), m.outcome()},
        {QStringLiteral("exitCode"), m.exitCode},
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("elapsedMs"), double(m.elapsedMs)}};
    if (!m.resume().isEmpty()) {
        line.insert(QStringLiteral("resume"), m.resume());
    }
    QString error;
    if (!campaign_->append(line, error)) {
        ShellOutput::print(
            stderr, QStringLiteral("velkor-cli: warning: the line of id %1 was not written to the "
                                   "campaign file: %2\n")
                        .arg(m.id)
                        .arg(error));
    }
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
