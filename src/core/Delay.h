#pragma once

#include "Runtime.h"

#include <coroutine>
#include <memory>
#include <utility>

// A wait of its owner's coroutine for a time, on one alarm set again for each wait: the thread
// runs other work meanwhile. cut() ends the wait in progress at the next pass of the event loop
// (what it waited for came early).
class Delay {
public:
    explicit Delay(Runtime& runtime)
        : alarm_(runtime.createAlarm([this] {
              if (const std::coroutine_handle<> waiting = std::exchange(waiting_, {})) {
                  waiting.resume();
              }
          })) {}
    Delay(const Delay&) = delete;
    Delay& operator=(const Delay&) = delete;

    class Awaiter {
    public:
        Awaiter(Delay& delay, int ms) : delay_(delay), ms_(ms) {}
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiting) {
            delay_.waiting_ = waiting;
            delay_.alarm_->set(ms_);
        }
        void await_resume() const noexcept {}

    private:
        Delay& delay_;
        int ms_;
    };

    // co_await delay.after(ms): goes on ms from now, or sooner when cut.
    Awaiter after(int ms) { return Awaiter(*this, ms); }
    void cut() {
        if (waiting_) {
            alarm_->set(0);
        }
    }

private:
    std::unique_ptr<Alarm> alarm_;
    std::coroutine_handle<> waiting_;
};
