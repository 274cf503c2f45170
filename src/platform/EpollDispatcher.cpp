#include "EpollDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace {

using Wait = std::optional<TimerSchedule::Clock::duration>;

// Up to this many ready descriptors are taken at one wake; the rest wait for the next pass.
constexpr int kBatch = 256;

// A wait in whole milliseconds, rounded up (-1: no end).
int wholeMs(Wait wait) {
    if (!wait) {
        return -1;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
    return int(std::min<std::int64_t>(ms, std::numeric_limits<int>::max()));
}

// epoll_pwait2 waits to the nanosecond, as Qt's own dispatcher does (a timer a little under a
// millisecond away must not be rounded to one); a kernel without it is waited on in whole
// milliseconds, rounded up.
int waitForEvents(int epollFd, epoll_event* events, Wait wait) {
    static std::atomic<bool> finerWait{true};
    if (finerWait.load(std::memory_order_relaxed)) {
        timespec timeout{};
        if (wait) {
            const auto ns = std::chrono::nanoseconds(*wait).count();
            timeout = {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
        }
        const int ready = epoll_pwait2(epollFd, events, kBatch, wait ? &timeout : nullptr, nullptr);
        if (ready >= 0 || errno != ENOSYS) {
            return ready;
        }
        finerWait.store(false, std::memory_order_relaxed);
    }
    return epoll_wait(epollFd, events, kBatch, wholeMs(wait));
}

} // namespace

EpollDispatcher::EpollDispatcher(QObject* parent)
    : QAbstractEventDispatcher(parent), epollFd_(epoll_create1(EPOLL_CLOEXEC)),
      notifiers_(epollFd_) {
    if (epollFd_ < 0) {
        qFatal("EpollDispatcher: no epoll set: %s", strerror(errno));
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake_.fd();
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, wake_.fd(), &event) != 0) {
        qFatal("EpollDispatcher: the wake-up cannot be watched: %s", strerror(errno));
    }
}

EpollDispatcher::~EpollDispatcher() {
    close(epollFd_);
}

bool EpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    interrupted_.store(false, std::memory_order_relaxed);
    emit awake();
    postedHere_ = false;
    QCoreApplication::sendPostedEvents();
    if (interrupted_.load(std::memory_order_relaxed)) {
        return false;
    }
    const bool withTimers = !flags.testFlag(QEventLoop::X11ExcludeTimers);
    const bool withNotifiers = !flags.testFlag(QEventLoop::ExcludeSocketNotifiers);
    const bool mayWait = flags.testFlag(QEventLoop::WaitForMoreEvents);
    if (mayWait) {
        emit aboutToBlock();
    }
    int handled = waitAndActivate(mayWait, withTimers, withNotifiers);
    if (withTimers) {
        handled += timers_.fireDue();
    }
    return handled > 0;
}

int EpollDispatcher::waitAndActivate(bool mayWait, bool withTimers, bool withNotifiers) {
    Wait wait;
    TimerSchedule::Clock::duration untilTimer{};
    if (withNotifiers) {
        notifiers_.applyChanges();
    }
    if (!mayWait || postedHere_ || (withNotifiers && notifiers_.hasAlwaysReady())) {
        wait = TimerSchedule::Clock::duration::zero();
    } else if (withTimers && timers_.nearestWait(&untilTimer)) {
        wait = untilTimer;
    }
    if (!withNotifiers) {
        return waitForWakeUp(wait);
    }
    std::array<epoll_event, kBatch> events;
    const int ready = waitForEvents(epollFd_, events.data(), wait);
    if (ready < 0 && errno != EINTR) {
        qErrnoWarning("EpollDispatcher: epoll_wait");
    }
    int handled = 0;
    for (int i = 0; i < ready; ++i) {
        if (events[std::size_t(i)].data.fd == wake_.fd()) {
            wake_.take();
            handled = 1;
        }
    }
    notifiers_.queueReady(events.data(), std::max(0, ready));
    return handled + notifiers_.activateQueued();
}

// Ready sockets left out of the pass must not end the wait: only the wake-up is watched.
int EpollDispatcher::waitForWakeUp(Wait wait) {
    pollfd wakeUp{wake_.fd(), POLLIN, 0};
    if (poll(&wakeUp, 1, wholeMs(wait)) > 0) {
        wake_.take();
        return 1;
    }
    return 0;
}

void EpollDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    notifiers_.add(notifier);
}

void EpollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    notifiers_.remove(notifier);
}

void EpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                    QObject* object) {
    timers_.add(timerId, interval, timerType, object);
}

bool EpollDispatcher::unregisterTimer(int timerId) {
    return timers_.remove(timerId);
}

bool EpollDispatcher::unregisterTimers(QObject* object) {
    return timers_.removeAll(object);
}

QList<QAbstractEventDispatcher::TimerInfo>
EpollDispatcher::registeredTimers(QObject* object) const {
    return timers_.timersOf(object);
}

int EpollDispatcher::remainingTime(int timerId) {
    return timers_.remainingMs(timerId);
}

// An event posted by the thread itself is sent at the start of its next pass, or, posted while
// the posted events are being sent, keeps this pass from waiting: the thread need not wake
// itself through the kernel.
void EpollDispatcher::wakeUp() {
    if (QThread::currentThread() == thread()) {
        postedHere_ = true;
        return;
    }
    wake_.raise();
}

void EpollDispatcher::interrupt() {
    interrupted_.store(true, std::memory_order_relaxed);
    wake_.raise();
}
