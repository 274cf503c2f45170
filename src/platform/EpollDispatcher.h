#pragma once

#include "EpollNotifiers.h"
#include "TimerSchedule.h"
#include "WakeUpSignal.h"

#include <QAbstractEventDispatcher>
#include <atomic>
#include <optional>

// A thread's event loop on Linux's epoll, for threads that carry a thousand sockets and their
// timers: each pass sends the thread's posted events, waits until a socket is ready, the
// nearest timer is due or another thread wakes it, then activates the ready notifiers and
// fires the due timers. Its wait costs the same for one socket or a thousand, and starting or
// killing a timer costs an insertion into an ordered map, where Qt's own dispatcher polls
// every socket at each wake and keeps its timers in a list.
class EpollDispatcher final : public QAbstractEventDispatcher {
public:
    explicit EpollDispatcher(QObject* parent = nullptr);
    ~EpollDispatcher() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    using QAbstractEventDispatcher::registerTimer;
    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;

private:
    // Waits until a socket is ready, the nearest timer is due or another thread wakes it (or
    // not at all); returns how many notifiers were activated, and one for a wake-up.
    int waitAndActivate(bool mayWait, bool withTimers, bool withNotifiers);
    int waitForWakeUp(std::optional<TimerSchedule::Clock::duration> wait);

    int epollFd_;
    WakeUpSignal wake_;
    EpollNotifiers notifiers_;
    TimerSchedule timers_;
    std::atomic<bool> interrupted_{false};
    bool postedHere_ = false; // an event was posted by this thread since the pass began
};
