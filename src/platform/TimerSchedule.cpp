#include "TimerSchedule.h"

#include <QCoreApplication>
#include <QTimerEvent>
#include <algorithm>
#include <limits>

void TimerSchedule::add(int id, qint64 intervalMs, Qt::TimerType type, QObject* object) {
    remove(id);
    const auto due = Clock::now() + std::chrono::milliseconds(std::max<qint64>(0, intervalMs));
    Entry entry{intervalMs, type, object, order_.emplace(due, id), ++starts_};
    entries_.emplace(id, entry);
}

bool TimerSchedule::remove(int id) {
    const auto found = entries_.find(id);
    if (found == entries_.end()) {
        return false;
    }
    order_.erase(found->second.position);
    entries_.erase(found);
    return true;
}

bool TimerSchedule::removeAll(const QObject* object) {
    bool removed = false;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.object == object) {
            order_.erase(it->second.position);
            it = entries_.erase(it);
            removed = true;
        } else {
            ++it;
        }
    }
    return removed;
}

QList<QAbstractEventDispatcher::TimerInfo> TimerSchedule::timersOf(const QObject* object) const {
    QList<QAbstractEventDispatcher::TimerInfo> timers;
    for (const auto& [id, entry] : entries_) {
        if (entry.object == object) {
            timers.append({id, int(entry.intervalMs), entry.type});
        }
    }
    return timers;
}

int TimerSchedule::remainingMs(int id) const {
    const auto found = entries_.find(id);
    if (found == entries_.end()) {
        return -1;
    }
    const auto left = found->second.position->first - Clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return int(std::clamp<std::int64_t>(ms, 0, std::numeric_limits<int>::max()));
}

bool TimerSchedule::nearestWait(Clock::duration* wait) const {
    if (order_.empty()) {
        return false;
    }
    *wait = std::max(Clock::duration::zero(), order_.begin()->first - Clock::now());
    return true;
}

void TimerSchedule::reschedule(Entry& entry, Clock::time_point now) {
    const auto interval = std::chrono::milliseconds(entry.intervalMs);
    auto due = entry.position->first + interval;
    if (due < now) {
        due = now + interval;
    }
    const int id = entry.position->second;
    order_.erase(entry.position);
    entry.position = order_.emplace(due, id);
}

// A timer is due again before its event is sent: its object may kill it, start others or run
// a nested event loop meanwhile, and a zero-interval timer due again at once must not fire
// twice in one pass.
int TimerSchedule::fireDue() {
    const auto now = Clock::now();
    const std::uint64_t pass = ++pass_;
    int fired = 0;
    while (!order_.empty() && order_.begin()->first <= now) {
        const int id = order_.begin()->second;
        Entry& entry = entries_.at(id);
        if (entry.lastPass == pass) {
            break; // due again during this pass: the next pass fires it
        }
        entry.lastPass = pass;
        reschedule(entry, now);
        if (entry.firing) {
            continue;
        }
        entry.firing = true;
        const std::uint64_t serial = entry.serial;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(entry.object, &event);
        ++fired;
        // The object may have killed the timer, and its id may even be another timer's now.
        const auto still = entries_.find(id);
        if (still != entries_.end() && still->second.serial == serial) {
            still->second.firing = false;
        }
    }
    return fired;
}
