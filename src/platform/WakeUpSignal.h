#pragma once

#include <atomic>

// Wakes a thread waiting in epoll from any thread: an eventfd the waiter watches. Only the first
// wake-up after the waiter took the last one writes to it; the others find it pending.
class WakeUpSignal {
public:
    WakeUpSignal();
    ~WakeUpSignal();
    WakeUpSignal(const WakeUpSignal&) = delete;
    WakeUpSignal& operator=(const WakeUpSignal&) = delete;

    int fd() const { return fd_; }
    // From any thread.
    void raise();
    // The waiter, once the descriptor was ready: takes the wake-ups so far; a later raise()
    // writes again.
    void take();

private:
    int fd_;
    std::atomic<bool> pending_{false};
};
