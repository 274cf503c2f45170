#include "CliRun.h"

#include "ProcessStatus.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>
#include <csignal>

QJsonObject RunResult::json() const {
    return QJsonDocument::fromJson(out).object();
}

CliRun::CliRun(QStringList arguments, QString program)
    : arguments_(std::move(arguments)), program_(std::move(program)) {}

CliRun::~CliRun() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

void CliRun::when(std::function<bool()> ready, std::function<void()> action) {
    triggers_.push_back({std::move(ready), std::move(action)});
}

void CliRun::whenError(const QString& text, std::function<void()> action) {
    when([this, text] { return errorSoFar().contains(text); }, std::move(action));
}

bool CliRun::start() {
    QStringList arguments = arguments_;
    if (!dataDir.isEmpty()) {
        const QStringList option{QStringLiteral("--data-dir"), dataDir};
        arguments = arguments.mid(0, 1) + option + arguments.mid(1);
    }
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(workingDirectory);
    if (!inputFile.isEmpty()) {
        process_.setStandardInputFile(inputFile);
    }
    if (!outputFile.isEmpty()) {
        process_.setStandardOutputFile(outputFile);
    }
    if (!errorFile.isEmpty()) {
        process_.setStandardErrorFile(errorFile);
    }
    QObject::connect(&process_, &QProcess::readyReadStandardError, &process_, [this] {
        err_ += process_.readAllStandardError();
        poll();
    });
    clock_.start();
    process_.start(program_, arguments);
    started_ = process_.waitForStarted();
    if (started_ && input) {
        process_.write(*input);
        process_.closeWriteChannel();
    }
    return started_;
}

// The triggers that hold fire, each once, and the memory is sampled.
void CliRun::poll() {
    if (process_.state() != QProcess::Running) {
        return;
    }
    if (samplesMemory) {
        peakKb_ = std::max(peakKb_, processStatusKb(process_.processId(), "VmHWM"));
    }
    for (Trigger& trigger : triggers_) {
        if (!trigger.fired && trigger.ready()) {
            trigger.fired = true;
            trigger.action();
        }
    }
}

void CliRun::waitForEnd() {
    QEventLoop loop;
    QObject::connect(&process_, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(int(std::max<qint64>(0, limitMs - clock_.elapsed())));
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &loop, [this] { poll(); });
    if (samplesMemory || !triggers_.empty()) {
        ticks.start(5);
    }
    poll();
    if (process_.state() != QProcess::NotRunning) {
        loop.exec();
    }
}

RunResult CliRun::finish() {
    RunResult result;
    if (!started_) {
        return result;
    }
    waitForEnd();
    result.finished = process_.state() == QProcess::NotRunning;
    if (!result.finished) {
        process_.kill();
        process_.waitForFinished(3000);
    } else {
        result.exitCode = process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -2;
    }
    result.ms = clock_.elapsed();
    result.out = process_.readAllStandardOutput();
    err_ += process_.readAllStandardError();
    result.err = errorSoFar();
    result.peakKb = peakKb_;
    return result;
}

RunResult CliRun::run() {
    start();
    return finish();
}

void CliRun::signal(int number) {
    if (process_.state() == QProcess::Running) {
        ::kill(pid_t(process_.processId()), number);
    }
}
