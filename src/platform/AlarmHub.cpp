#include "AlarmHub.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <limits>

class AlarmHub::HubAlarm : public Alarm {
public:
    HubAlarm(AlarmHub& hub, std::function<void()> onAlarm)
        : hub_(hub), onAlarm_(std::make_shared<std::function<void()>>(std::move(onAlarm))) {}
    ~HubAlarm() override { hub_.unschedule(*this); }
    void set(int ms) override { hub_.schedule(*this, nowMs() + std::max(0, ms)); }
    void cancel() override { hub_.unschedule(*this); }

    // The owner may let the alarm go from inside its own function: the function stays alive
    // until it returns.
    void goOff() const {
        const std::shared_ptr<std::function<void()>> keep = onAlarm_;
        (*keep)();
    }

    bool scheduled = false;
    std::uint64_t setInPass = 0; // the hub's pass during or after which it was set
    Schedule::iterator position;

private:
    AlarmHub& hub_;
    std::shared_ptr<std::function<void()>> onAlarm_;
};

namespace {

// A periodic timer on an alarm, with the suspension rules of every Timer: a suspended timer
// wakes nobody, and resume() runs the ticks that fell due meanwhile, one call each, and goes
// on in the same rhythm. Its ticks fall on the multiples of its interval on the monotonic
// clock: the timers of every member of a thread with the same interval tick at the same
// moments, one wake for them all. A timer's phase was never part of its rules (it starts at
// some moment of an answer's arrival), only its rhythm.
class AlarmTimer : public Timer {
public:
    AlarmTimer(AlarmHub& hub, int intervalMs, std::function<void()> onTick)
        : interval_(std::max(1, intervalMs)), tick_(std::move(onTick)),
          alarm_(hub.createAlarm([this] { due(); })) {}
    void setEnabled(bool enabled) override {
        if (!enabled) {
            alarm_->cancel();
            enabled_ = false;
            suspended_ = false;
        } else if (suspended_) {
            resume();
        } else if (!enabled_) {
            enabled_ = true;
            const std::int64_t now = AlarmHub::nowMs();
            nextDueMs_ = nextBeat(now);
            alarm_->set(int(nextDueMs_ - now));
        }
    }
    bool enabled() const override { return enabled_; }
    int intervalMs() const override { return interval_; }
    void suspend() override {
        if (enabled_) {
            alarm_->cancel();
            suspended_ = true;
        }
    }
    void skipTicks(int ticks) override {
        if (!enabled_) {
            return;
        }
        suspended_ = true;
        const std::int64_t wakeMs = nextDueMs_ + std::int64_t(std::max(0, ticks)) * interval_;
        alarm_->set(int(std::max<std::int64_t>(0, wakeMs - AlarmHub::nowMs())));
    }
    void resume() override;

private:
    void due();
    std::int64_t nextBeat(std::int64_t now) const { return (now / interval_ + 1) * interval_; }

    int interval_;
    std::function<void()> tick_;
    std::unique_ptr<Alarm> alarm_;
    bool enabled_ = false;
    bool suspended_ = false;
    std::int64_t nextDueMs_ = 0;
};

void AlarmTimer::resume() {
    if (!suspended_) {
        return;
    }
    suspended_ = false;
    const std::int64_t now = AlarmHub::nowMs();
    std::int64_t missed = 0;
    if (nextDueMs_ <= now) {
        missed = 1 + (now - nextDueMs_) / interval_;
        nextDueMs_ += missed * interval_;
    }
    alarm_->set(int(nextDueMs_ - now));
    // A tick may stop the timer (its count reached 0): the rest are then not due.
    for (std::int64_t i = 0; i < missed && enabled_ && !suspended_; ++i) {
        tick_();
    }
}

// A tick falls due (or the wake after skipped ticks): the next is set before the tick runs,
// which may stop or suspend the timer. Ticks a busy thread missed are not run late.
void AlarmTimer::due() {
    if (suspended_) {
        resume();
        return;
    }
    const std::int64_t now = AlarmHub::nowMs();
    nextDueMs_ += interval_;
    if (nextDueMs_ <= now) {
        nextDueMs_ = nextBeat(now);
    }
    alarm_->set(int(nextDueMs_ - now));
    tick_();
}

} // namespace

AlarmHub& AlarmHub::ofThisThread() {
    thread_local AlarmHub hub;
    return hub;
}

AlarmHub::AlarmHub() {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { goOff(); });
}

std::int64_t AlarmHub::nowMs() {
    return QDeadlineTimer::current().deadline();
}

std::unique_ptr<Alarm> AlarmHub::createAlarm(std::function<void()> onAlarm) {
    return std::make_unique<HubAlarm>(*this, std::move(onAlarm));
}

std::unique_ptr<Timer> AlarmHub::createTimer(int intervalMs, std::function<void()> onTick) {
    return std::make_unique<AlarmTimer>(*this, intervalMs, std::move(onTick));
}

void AlarmHub::schedule(HubAlarm& alarm, std::int64_t dueMs) {
    if (alarm.scheduled) {
        due_.erase(alarm.position);
    }
    alarm.position = due_.emplace(dueMs, &alarm);
    alarm.scheduled = true;
    alarm.setInPass = pass_;
    if (!timer_.isActive() || dueMs < armedForMs_) {
        rearm();
    }
}

// The Qt timer is left as it is: going off early for an alarm no longer set costs one pass.
void AlarmHub::unschedule(HubAlarm& alarm) {
    if (alarm.scheduled) {
        due_.erase(alarm.position);
        alarm.scheduled = false;
    }
}

void AlarmHub::rearm() {
    if (due_.empty()) {
        timer_.stop();
        return;
    }
    armedForMs_ = due_.begin()->first;
    timer_.start(
        int(std::clamp<std::int64_t>(armedForMs_ - nowMs(), 0, std::numeric_limits<int>::max())));
}

// Every alarm due goes off, in its order; an alarm's function may set, cancel or let go of any
// alarm, itself included. One set again during the pass goes off at the next pass, after the
// thread's other events, as a Qt timer started again would: none can hold the thread.
void AlarmHub::goOff() {
    const std::int64_t now = nowMs();
    ++pass_;
    while (!due_.empty() && due_.begin()->first <= now) {
        HubAlarm* alarm = due_.begin()->second;
        if (alarm->setInPass == pass_) {
            break; // set during this pass: what is due after it was set during it too
        }
        due_.erase(due_.begin());
        alarm->scheduled = false;
        alarm->goOff();
    }
    rearm();
}
