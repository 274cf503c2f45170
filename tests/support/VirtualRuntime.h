#pragma once

#include "core/Runtime.h"

#include <QStringList>
#include <cstdint>
#include <map>
#include <vector>

// A runtime in virtual time for tests, fuzzers and benchmarks. Time moves only when the code
// sleeps (or spins in an event loop without sleeping); processEvents delivers the timer ticks
// and posted events that are due, in order of their due time. A test posts device receptions
// and user clicks at chosen virtual times, so every run is exactly the same.
class VirtualRuntime : public Runtime {
public:
    explicit VirtualRuntime(std::uint32_t startTick = 1'000'000,
                            QDateTime startTime = QDateTime(QDate(2026, 1, 5), QTime(9, 0, 0)));
    ~VirtualRuntime() override;

    std::uint32_t tickCount() const override { return startTick_ + std::uint32_t(elapsed_); }
    QDateTime now() const override { return startTime_.addMSecs(qint64(elapsed_)); }
    void sleep(int ms) override;
    void processEvents() override;
    void awaitEvents(int maxMs) override;
    bool terminating() const override { return terminating_; }
    std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTick) override;
    std::unique_ptr<Alarm> createAlarm(std::function<void()> onAlarm) override;
    void debugLine(const QString& line) override { debugLines.append(line); }

    // Milliseconds of virtual time since the runtime was made.
    std::uint64_t elapsed() const { return elapsed_; }
    // How often a timer woke the loop (a suspended one wakes nobody).
    std::uint64_t timerWakes() const { return timerWakes_; }
    // Runs fn from the event loop once delayMs of virtual time have passed.
    void post(std::uint64_t delayMs, std::function<void()> fn);
    void postAt(std::uint64_t atElapsed, std::function<void()> fn);
    // Runs the event loop (pump, then sleep 1 ms) for ms of virtual time, as an idle
    // application would.
    void runFor(std::uint64_t ms);
    // Runs the event loop, time jumping from one due event to the next, until done() says so
    // or the time limit is reached (with no limit set, after a virtual day).
    void runUntil(const std::function<bool()>& done);
    // After this much virtual time the runtime reports terminating, so a test that would wait
    // forever ends; limitReached() tells whether that happened.
    void setTimeLimit(std::uint64_t ms) { timeLimit_ = ms; }
    bool limitReached() const { return limitReached_; }
    void setTerminating(bool terminating) { terminating_ = terminating; }

    // For a runtime that serves one run after another (a fuzzer's): the limit counts from now
    // and has not been reached, and the events posted by the last run are dropped.
    void limitTimeFromNow(std::uint64_t ms) {
        timeLimit_ = elapsed_ + ms;
        limitReached_ = false;
        terminating_ = false;
    }
    void dropPosted() { events_.clear(); }

    QStringList debugLines;

private:
    class VirtualTimer;
    class VirtualAlarm;

    void advance(std::uint64_t ms);
    bool deliverOneDue();
    // The virtual time of the next timer tick or posted event; UINT64_MAX when none is due.
    std::uint64_t nextDue() const;
    void registerTimer(VirtualTimer* timer) { timers_.push_back(timer); }
    void unregisterTimer(VirtualTimer* timer);

    std::uint32_t startTick_;
    QDateTime startTime_;
    std::uint64_t elapsed_ = 0;
    std::uint64_t sequence_ = 0;
    std::multimap<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> events_;
    std::vector<VirtualTimer*> timers_;
    int idlePumps_ = 0;
    std::uint64_t timerWakes_ = 0;
    std::uint64_t timeLimit_ = 0;
    bool limitReached_ = false;
    bool terminating_ = false;
};
