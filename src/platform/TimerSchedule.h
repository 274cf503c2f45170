#pragma once

#include <QAbstractEventDispatcher>
#include <QList>
#include <chrono>
#include <cstdint>
#include <map>
#include <unordered_map>

// The Qt timers of one thread, ordered by when each is due: starting or killing one is an
// insertion into or an erasure from an ordered map, however many the thread has. A timer fires
// by a QTimerEvent sent to its object and is due again an interval after it was due (or, when
// the thread fell behind by more than that, an interval after now); timers due at the same
// moment fire in the order they were started. Every type of timer is kept to the millisecond:
// a coarse timer firing on time is within its tolerance.
class TimerSchedule {
public:
    using Clock = std::chrono::steady_clock;

    void add(int id, qint64 intervalMs, Qt::TimerType type, QObject* object);
    bool remove(int id);
    bool removeAll(const QObject* object);
    QList<QAbstractEventDispatcher::TimerInfo> timersOf(const QObject* object) const;
    // Milliseconds until the timer is due (0 when it is), -1 for a timer not kept here.
    int remainingMs(int id) const;
    // The time until the nearest timer is due (zero when one is); none when there is no timer.
    bool nearestWait(Clock::duration* wait) const;
    // Fires every timer that is due now, in order, each once; a timer started or due again
    // meanwhile waits for the next call. A timer whose object is still handling its last event
    // (a nested event loop) is not fired again inside it. Returns how many fired.
    int fireDue();

private:
    using Order = std::multimap<Clock::time_point, int>;
    struct Entry {
        qint64 intervalMs;
        Qt::TimerType type;
        QObject* object;
        Order::iterator position;
        std::uint64_t serial;       // tells this start of the timer from a later one
        std::uint64_t lastPass = 0; // the pass of fireDue that fired it last
        bool firing = false;        // its object is handling its event
    };

    void reschedule(Entry& entry, Clock::time_point now);

    std::unordered_map<int, Entry> entries_;
    Order order_;
    std::uint64_t pass_ = 0;
    std::uint64_t starts_ = 0;
};
