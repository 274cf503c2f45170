#include "VirtualRuntime.h"

#include <algorithm>
#include <cstdint>
#include <memory>

class VirtualRuntime::VirtualTimer : public Timer {
public:
    VirtualTimer(VirtualRuntime& runtime, int intervalMs, std::function<void()> onTick)
        : runtime_(runtime), interval_(std::max(1, intervalMs)), onTick_(std::move(onTick)) {
        runtime_.registerTimer(this);
    }
    ~VirtualTimer() override { runtime_.unregisterTimer(this); }

    void setEnabled(bool enabled) override {
        if (enabled && suspended_) {
            resume();
            return;
        }
        if (enabled && !enabled_) {
            due_ = runtime_.elapsed() + std::uint64_t(interval_);
        }
        enabled_ = enabled;
        suspended_ = false;
        skipping_ = false;
    }
    bool enabled() const override { return enabled_; }
    int intervalMs() const override { return interval_; }
    void suspend() override {
        suspended_ = enabled_;
        skipping_ = false;
    }
    void skipTicks(int ticks) override {
        if (!enabled_) {
            return;
        }
        suspended_ = true;
        skipping_ = true;
        wakeAt_ = due_ + std::uint64_t(std::max(0, ticks)) * std::uint64_t(interval_);
    }
    void resume() override {
        if (!suspended_) {
            return;
        }
        suspended_ = false;
        skipping_ = false;
        // Every tick that fell due meanwhile, in order; a tick may stop the timer.
        while (enabled_ && !suspended_ && due_ <= runtime_.elapsed()) {
            due_ += std::uint64_t(interval_);
            onTick_();
        }
    }
    // Whether the runtime wakes for it (a suspended timer wakes nobody, one that skips ticks
    // wakes after them).
    bool ticking() const { return enabled_ && (!suspended_ || skipping_); }
    std::uint64_t due() const { return skipping_ ? wakeAt_ : due_; }
    // Like a real timer that fell behind, it fires once and then keeps its rhythm from now;
    // after skipped ticks it runs them all.
    void fire(std::uint64_t now) {
        if (skipping_) {
            resume();
            return;
        }
        due_ += std::uint64_t(interval_);
        if (due_ <= now) {
            due_ = now + std::uint64_t(interval_);
        }
        onTick_();
    }

private:
    VirtualRuntime& runtime_;
    int interval_;
    std::function<void()> onTick_;
    bool enabled_ = false;
    bool suspended_ = false;
    bool skipping_ = false;
    std::uint64_t due_ = 0;
    std::uint64_t wakeAt_ = 0;
};

// An alarm is a posted event that a newer setting or a cancel turns into nothing.
class VirtualRuntime::VirtualAlarm : public Alarm {
public:
    VirtualAlarm(VirtualRuntime& runtime, std::function<void()> onAlarm)
        : runtime_(runtime), onAlarm_(std::make_shared<std::function<void()>>(std::move(onAlarm))),
          setting_(std::make_shared<std::uint64_t>(0)) {}
    ~VirtualAlarm() override { cancel(); }
    void set(int ms) override {
        const std::uint64_t setting = ++*setting_;
        runtime_.post(std::uint64_t(std::max(0, ms)),
                      [onAlarm = onAlarm_, current = setting_, setting] {
                          if (*current == setting) {
                              (*onAlarm)();
                          }
                      });
    }
    void cancel() override { ++*setting_; }

private:
    VirtualRuntime& runtime_;
    std::shared_ptr<std::function<void()>> onAlarm_;
    std::shared_ptr<std::uint64_t> setting_;
};

VirtualRuntime::VirtualRuntime(std::uint32_t startTick, QDateTime startTime)
    : startTick_(startTick), startTime_(std::move(startTime)) {}

VirtualRuntime::~VirtualRuntime() = default;

void VirtualRuntime::unregisterTimer(VirtualTimer* timer) {
    timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

void VirtualRuntime::advance(std::uint64_t ms) {
    elapsed_ += ms;
    idlePumps_ = 0;
    if (timeLimit_ != 0 && elapsed_ >= timeLimit_) {
        limitReached_ = true;
        terminating_ = true;
    }
}

void VirtualRuntime::sleep(int ms) {
    if (ms > 0) {
        advance(std::uint64_t(ms));
    }
}

bool VirtualRuntime::deliverOneDue() {
    VirtualTimer* timer = nullptr;
    for (VirtualTimer* t : timers_) {
        if (t->ticking() && t->due() <= elapsed_ && (timer == nullptr || t->due() < timer->due())) {
            timer = t;
        }
    }
    const bool eventDue = !events_.empty() && events_.begin()->first.first <= elapsed_;
    if (eventDue && (timer == nullptr || events_.begin()->first.first <= timer->due())) {
        auto fn = std::move(events_.begin()->second);
        events_.erase(events_.begin());
        fn();
        return true;
    }
    if (timer != nullptr) {
        ++timerWakes_;
        timer->fire(elapsed_);
        return true;
    }
    return false;
}

void VirtualRuntime::processEvents() {
    bool delivered = false;
    while (deliverOneDue()) {
        delivered = true;
    }
    // A loop that pumps without ever sleeping would stand still in virtual time; a real pump
    // takes a little time, so every run of idle pumps moves the clock on by a millisecond.
    if (!delivered && ++idlePumps_ >= 16) {
        advance(1);
    }
}

std::uint64_t VirtualRuntime::nextDue() const {
    std::uint64_t next = events_.empty() ? UINT64_MAX : events_.begin()->first.first;
    for (const VirtualTimer* t : timers_) {
        if (t->ticking()) {
            next = std::min(next, t->due());
        }
    }
    return next;
}

void VirtualRuntime::awaitEvents(int maxMs) {
    if (deliverOneDue()) {
        while (deliverOneDue()) {
        }
        return;
    }
    // Nothing is due: time jumps to the next tick or event, or to the end of the wait.
    const std::uint64_t until = std::min(nextDue(), elapsed_ + std::uint64_t(std::max(maxMs, 1)));
    advance(until - elapsed_);
    while (deliverOneDue()) {
    }
}

std::unique_ptr<Timer> VirtualRuntime::createTimer(int intervalMs, std::function<void()> onTick) {
    return std::make_unique<VirtualTimer>(*this, intervalMs, std::move(onTick));
}

std::unique_ptr<Alarm> VirtualRuntime::createAlarm(std::function<void()> onAlarm) {
    return std::make_unique<VirtualAlarm>(*this, std::move(onAlarm));
}

void VirtualRuntime::post(std::uint64_t delayMs, std::function<void()> fn) {
    postAt(elapsed_ + delayMs, std::move(fn));
}

void VirtualRuntime::postAt(std::uint64_t atElapsed, std::function<void()> fn) {
    events_.emplace(std::make_pair(atElapsed, sequence_++), std::move(fn));
}

void VirtualRuntime::runFor(std::uint64_t ms) {
    const std::uint64_t end = elapsed_ + ms;
    while (elapsed_ < end && !terminating_) {
        processEvents();
        sleep(1);
    }
}

void VirtualRuntime::runUntil(const std::function<bool()>& done) {
    const std::uint64_t limit = elapsed_ + 24ULL * 3600 * 1000;
    while (!done() && !terminating_ && elapsed_ < limit) {
        awaitEvents(int(std::min<std::uint64_t>(limit - elapsed_, 3600 * 1000)));
    }
}
