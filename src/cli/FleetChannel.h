#pragma once

#include "core/StoppableIo.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <atomic>
#include <cstdio>
#include <functional>
#include <optional>

// What a fleet member has instead of the process's standard streams and stop signals. Every
// member runs its subcommand as a task inside the one velkor-cli, many on one thread; whatever
// the subcommand prints comes here rather than to the terminal: standard error as the member's
// message lines, standard output as the member's output, kept up to kMaxOutput bytes; its
// progress display hands over its counts. The fleet reads them on its own thread and tells the
// member to stop when a stop signal comes to the process.
class FleetChannel {
public:
    static constexpr qsizetype kMaxOutput = 64 * 1024;
    // What the members running at once may hold of their answers together: each takes an
    // answer up to its share (at most the usual 4 MB, at least 64 KB); a longer one is a flood.
    static constexpr qsizetype kAnswerBudget = 32 * 1024 * 1024;
    static qsizetype answerLimitFor(int jobs);

    // Called on the member's thread for each message line (not the counts), when set.
    explicit FleetChannel(std::function<void(const QString&)> onLine = nullptr)
        : onLine_(std::move(onLine)) {}

    // The channel of the calling thread; null outside a fleet member (the process's own streams).
    static FleetChannel* current();

    // Makes the channel the calling thread's while it lives, with its stop check as the
    // thread's (StoppableIo); the one before is current again after it. Whatever runs for a
    // member runs in such a scope: many members share one thread.
    class Scope {
    public:
        explicit Scope(FleetChannel* channel);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        FleetChannel* previous_;
        std::optional<StoppableIo::StopCheckScope> stopCheck_;
    };
    // The member's own: whether a stop came, looked at while a file or stream is read or
    // written outside the event loop. Set on the member's thread, by its session.
    StoppableIo::StopCheck stopCheck;

    // What the member printed on a stream.
    void write(FILE* stream, const QByteArray& bytes);

    // The fleet's thread: the member is to stop as if the process had the signal; its wake runs.
    void stop(int signal);
    // The fleet's thread: the fleet drains after the signal: the member ends on its own, a
    // store at its next confirmed piece. Its wake runs.
    void drain(int signal);
    // The fleet's thread: the member ran past its deadline and is to stop. Its wake runs.
    void expire();
    // The member's thread: what wakes it when a stop comes (its event loop may be asleep), run
    // on the fleet's thread; null to forget it before what it wakes is gone.
    void setWake(std::function<void()> wake);
    // The member's thread: the stop signal since the last call, 0 when none.
    int takeStop() { return stop_.exchange(0); }
    // The signal the fleet drains after, 0 while it does not.
    int drainSignal() const { return drain_.load(); }
    bool expired() const { return expired_.load(); }

    struct Snapshot {
        QString message;
        qint64 done = 0;
        qint64 total = 0;
    };
    Snapshot snapshot() const;
    // The member's thread: how far its operation has got.
    void setProgress(qint64 done, qint64 total);
    // The longest answer the member's loader takes (answerLimitFor the fleet's jobs).
    qsizetype answerLimit = answerLimitFor(1);

    // The member's standard output as kept, and how many bytes past kMaxOutput were dropped.
    QByteArray output() const;
    qint64 droppedOutput() const;

private:
    void line(const QByteArray& text);

    void wake();

    std::function<void(const QString&)> onLine_;
    std::atomic<int> stop_{0};
    std::atomic<int> drain_{0};
    std::atomic<bool> expired_{false};
    QMutex wakeMutex_;
    std::function<void()> wake_;
    mutable QMutex mutex_;
    QByteArray pendingErr_; // a line not yet ended
    Snapshot latest_;
    QByteArray output_;
    qint64 dropped_ = 0;
};
