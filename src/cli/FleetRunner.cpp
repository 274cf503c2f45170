#include "cli/FleetRunner.h"

#include "cli/ExitCodes.h"

#include "cli/ShellPlatform.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>

namespace {

QElapsedTimer& fleetClock() {
    static QElapsedTimer clock;
    return clock;
}

} // namespace

FleetRunner::FleetRunner(QStringList arguments, QList<std::uint32_t> ids, int jobs, bool quiet)
    : arguments_(std::move(arguments)), jobs_(jobs),
      display_(members_, FleetDisplay::modeFor(quiet)) {
    for (const std::uint32_t id : ids) {
        FleetMember m;
        m.id = id;
        members_.append(m);
    }
    processes_.resize(std::size_t(members_.size()));
}

FleetRunner::~FleetRunner() {
    ShellPlatform::releaseStopSignals();
    for (auto& process : processes_) {
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
}

int FleetRunner::run() {
    fleetClock().start();
    ShellPlatform::catchStopSignals();
    display_.redraw();
    QEventLoop loop;
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, [this, &loop] {
        poll();
        if (running_ == 0 && (next_ >= members_.size() || stopSignal_ != 0)) {
            loop.quit();
        }
    });
    poller.start(50);
    startNext();
    loop.exec();
    // Ids never started were stopped by the same signal as the running ones: 130, 143 or 129.
    const int stoppedCode =
        stopSignal_ != 0 ? ShellPlatform::exitCodeForSignal(stopSignal_) : int(kExitCancelled);
    for (FleetMember& m : members_) {
        if (m.state == FleetMember::State::Waiting) {
            m.exitCode = stoppedCode;
        }
    }
    display_.redraw();
    return exitCode();
}

void FleetRunner::poll() {
    const int signal = ShellPlatform::takeStopSignal();
    if (signal != 0 && stopSignal_ == 0) {
        // Every running child gets the same signal, so each ends as it would alone: its
        // operation cancelled, its journal entry written, its resume position kept.
        stopSignal_ = signal;
        for (auto& process : processes_) {
            if (process && process->state() == QProcess::Running) {
                ShellPlatform::sendSignal(process->processId(), signal);
            }
        }
    }
    display_.redraw();
}

void FleetRunner::startNext() {
    while (stopSignal_ == 0 && running_ < jobs_ && next_ < members_.size()) {
        start(next_++);
    }
}

void FleetRunner::start(int index) {
    FleetMember& m = members_[index];
    QStringList arguments;
    for (const QString& a : arguments_) {
        arguments.append(QString(a).replace(QStringLiteral("{id}"), QString::number(m.id)));
    }
    arguments << QStringLiteral("--id") << QString::number(m.id) << QStringLiteral("--json");
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELKOR_CLI_PROGRESS"), QStringLiteral("machine"));
    process->setProcessEnvironment(env);
    const std::int64_t parent = ShellPlatform::processId();
    process->setChildProcessModifier([parent] { ShellPlatform::prepareFleetChild(parent); });
    QProcess* p = process.get();
    QObject::connect(p, &QProcess::readyReadStandardError, [this, index] { readErr(index); });
    QObject::connect(p, &QProcess::finished, [this, index](int code, QProcess::ExitStatus status) {
        finished(index, code, status == QProcess::CrashExit);
    });
    processes_[std::size_t(index)] = std::move(process);
    m.state = FleetMember::State::Running;
    m.startMs = fleetClock().elapsed();
    ++running_;
    display_.changed(m, QStringLiteral("started"));
    p->start(QCoreApplication::applicationFilePath(), arguments);
    if (!p->waitForStarted()) {
        finished(index, kExitSoftware, true);
    }
}

void FleetRunner::readErr(int index) {
    FleetMember& m = members_[index];
    m.pendingErr += processes_[std::size_t(index)]->readAllStandardError();
    qsizetype end = 0;
    while ((end = m.pendingErr.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(m.pendingErr.left(end));
        m.pendingErr.remove(0, end + 1);
        if (line.startsWith(QStringLiteral("@progress "))) {
            const QStringList parts = line.split(QLatin1Char(' '));
            m.done = parts.value(1).toLongLong();
            m.total = parts.value(2).toLongLong();
            continue;
        }
        m.message = line;
        display_.message(m, line);
    }
}

void FleetRunner::finished(int index, int exitCode, bool crashed) {
    FleetMember& m = members_[index];
    if (m.state == FleetMember::State::Done) {
        return;
    }
    QProcess* p = processes_[std::size_t(index)].get();
    readErr(index);
    m.result = QJsonDocument::fromJson(p->readAllStandardOutput()).object();
    m.exitCode = crashed ? kExitSoftware : exitCode;
    m.elapsedMs = fleetClock().elapsed() - m.startMs;
    m.state = FleetMember::State::Done;
    --running_;
    display_.changed(
        m,
        QStringLiteral("%1 (%2) %3").arg(exitCodeName(m.exitCode)).arg(m.exitCode).arg(m.status()));
    startNext();
}

int FleetRunner::exitCode() const {
    if (stopSignal_ != 0) {
        return ShellPlatform::exitCodeForSignal(stopSignal_); // 130, 143 or 129
    }
    for (const FleetMember& m : members_) {
        if (m.exitCode != kExitOk) {
            return m.exitCode;
        }
    }
    return kExitOk;
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
