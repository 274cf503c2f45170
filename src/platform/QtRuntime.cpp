#include "QtRuntime.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

std::int64_t monotonicMs() {
    return QDeadlineTimer::current().deadline();
}

class QtTimer : public Timer {
public:
    QtTimer(int intervalMs, std::function<void()> onTick) : tick_(std::move(onTick)) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick_(); });
        // After a resume the first tick keeps the old rhythm; the periodic timer follows it.
        phase_.setTimerType(Qt::PreciseTimer);
        phase_.setSingleShot(true);
        QObject::connect(&phase_, &QTimer::timeout, [this] {
            if (suspended_) {
                resume(); // the wake after skipped ticks
                return;
            }
            timer_.start();
            tick_();
        });
    }
    void setEnabled(bool enabled) override {
        if (!enabled) {
            timer_.stop();
            phase_.stop();
            suspended_ = false;
        } else if (suspended_) {
            resume();
        } else if (!this->enabled()) {
            timer_.start();
        }
    }
    bool enabled() const override { return suspended_ || timer_.isActive() || phase_.isActive(); }
    int intervalMs() const override { return timer_.interval(); }
    void suspend() override;
    void resume() override;
    void skipTicks(int ticks) override;

private:
    void stopWaking();

    QTimer timer_;
    QTimer phase_;
    std::function<void()> tick_;
    bool suspended_ = false;
    std::int64_t nextDueMs_ = 0;
};

// Notes when the next tick falls due and stops both timers; a suspended timer has its due time
// already (and phase_ may hold the wake after skipped ticks, which stops too).
void QtTimer::stopWaking() {
    if (!suspended_) {
        const int remaining = timer_.isActive() ? timer_.remainingTime() : phase_.remainingTime();
        nextDueMs_ = monotonicMs() + std::max(0, remaining);
        suspended_ = true;
    }
    timer_.stop();
    phase_.stop();
}

void QtTimer::suspend() {
    if (enabled()) {
        stopWaking();
    }
}

void QtTimer::skipTicks(int ticks) {
    if (!enabled()) {
        return;
    }
    stopWaking();
    const std::int64_t wakeMs =
        nextDueMs_ + std::int64_t(std::max(0, ticks)) * std::max(1, timer_.interval());
    phase_.start(int(std::max<std::int64_t>(0, wakeMs - monotonicMs())));
}

void QtTimer::resume() {
    if (!suspended_) {
        return;
    }
    suspended_ = false;
    const std::int64_t now = monotonicMs();
    const std::int64_t interval = std::max(1, timer_.interval());
    std::int64_t missed = 0;
    if (nextDueMs_ <= now) {
        missed = 1 + (now - nextDueMs_) / interval;
        nextDueMs_ += missed * interval;
    }
    phase_.start(int(nextDueMs_ - now));
    // A tick may stop the timer (its count reached 0): the rest are then not due.
    for (std::int64_t i = 0; i < missed && enabled() && !suspended_; ++i) {
        tick_();
    }
}

class QtAlarm : public Alarm {
public:
    explicit QtAlarm(std::function<void()> onAlarm) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, std::move(onAlarm));
    }
    void set(int ms) override { timer_.start(std::max(0, ms)); }
    void cancel() override { timer_.stop(); }

private:
    QTimer timer_;
};

} // namespace

QtRuntime::QtRuntime() {
    clock_.start();
    // Start the counter where the system's monotonic clock stands, as a tick count would.
    tickBase_ = std::uint32_t(QDeadlineTimer::current().deadline());
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
}

std::uint32_t QtRuntime::tickCount() const {
    return tickBase_ + std::uint32_t(clock_.elapsed());
}

QDateTime QtRuntime::now() const {
    return QDateTime::currentDateTime();
}

void QtRuntime::sleep(int ms) {
    if (ms > 0) {
        QThread::msleep(static_cast<unsigned long>(ms));
    }
}

void QtRuntime::processEvents() {
    if (beforeEvents_) {
        beforeEvents_();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtRuntime::awaitEvents(int maxMs) {
    if (maxMs <= 0) {
        processEvents();
        return;
    }
    if (beforeEvents_) {
        beforeEvents_();
    }
    // The event loop sleeps in the system until one of its sources is ready; the single-shot
    // timer is the source that ends the sleep when nothing else does. A wait calls this again
    // and again towards one deadline: the timer is set again only when it would wake too late,
    // since setting a timer costs as much as the wake itself.
    if (!wake_.isActive() || wake_.remainingTime() > maxMs) {
        wake_.start(maxMs);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

std::unique_ptr<Timer> QtRuntime::createTimer(int intervalMs, std::function<void()> onTick) {
    return std::make_unique<QtTimer>(intervalMs, std::move(onTick));
}

std::unique_ptr<Alarm> QtRuntime::createAlarm(std::function<void()> onAlarm) {
    return std::make_unique<QtAlarm>(std::move(onAlarm));
}

void QtRuntime::debugLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
