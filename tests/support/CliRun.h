#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// How one run of a program of the build ended and what it wrote.
struct RunResult {
    bool finished = false; // it ended within its time limit
    int exitCode = -1;     // -1: it did not start or end in time; -2: a signal ended it
    QByteArray out;
    QString err;
    qint64 ms = 0;     // from the start to the end
    qint64 peakKb = 0; // its peak resident memory, where sampled

    // Standard output as one JSON object (what --json prints).
    QJsonObject json() const;
};

// velkor-cli (or velkor-devsim's command line) as a child process of one test. The test's event
// loop goes on while it runs: servers and relays that live in the test process answer it, and
// what it writes is read as it comes, so that a test can act on a line of its standard error.
class CliRun {
public:
    explicit CliRun(QStringList arguments, QString program = QStringLiteral(VELKOR_CLI_PATH));
    ~CliRun();
    CliRun(const CliRun&) = delete;
    CliRun& operator=(const CliRun&) = delete;

    // Set before the start.
    QString dataDir; // given as --data-dir right after the subcommand
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    std::optional<QByteArray> input; // standard input, closed after it; else left open
    // Standard streams from or to a file (a FIFO, a terminal) instead of this process.
    QString inputFile;
    QString outputFile;
    QString errorFile;
    QString workingDirectory;
    int limitMs = 60000; // then the program is killed
    bool samplesMemory = false;

    // Calls action once, while the program runs, as soon as ready() holds: checked whenever the
    // program writes to standard error, and every 5 ms.
    void when(std::function<bool()> ready, std::function<void()> action);
    void whenError(const QString& text, std::function<void()> action);

    bool start();
    // Waits for the end, killing the program at the time limit.
    RunResult finish();
    RunResult run();

    // While it runs.
    void signal(int number);
    qint64 processId() const { return process_.processId(); }
    QString errorSoFar() const { return QString::fromLocal8Bit(err_); }
    qint64 elapsedMs() const { return clock_.elapsed(); }

private:
    struct Trigger {
        std::function<bool()> ready;
        std::function<void()> action;
        bool fired = false;
    };

    void poll();
    void waitForEnd();

    QStringList arguments_;
    QString program_;
    QProcess process_;
    QElapsedTimer clock_;
    QByteArray err_;
    std::vector<Trigger> triggers_;
    qint64 peakKb_ = 0;
    bool started_ = false;
};
