#pragma once

#include "core/Runtime.h"

#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

// The alarms and timers of many owners on one thread, served by one Qt timer: setting an
// alarm is an insertion into an ordered map, where a Qt timer of its own would be an insertion
// into the thread's list of timers, which grows with every owner. For a thread that carries
// hundreds of fleet members, each with its answer timer, link timer and wait alarm. Times are
// the system's monotonic milliseconds; alarms due at the same millisecond go off in the order
// they were set, as Qt's timers would.
class AlarmHub {
public:
    // The hub of the calling thread, made at the first call; its alarms belong to that thread.
    static AlarmHub& ofThisThread();

    std::unique_ptr<Alarm> createAlarm(std::function<void()> onAlarm);
    std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTick);

    static std::int64_t nowMs();

private:
    class HubAlarm;
    using Schedule = std::multimap<std::int64_t, HubAlarm*>;

    AlarmHub();
    void schedule(HubAlarm& alarm, std::int64_t dueMs);
    void unschedule(HubAlarm& alarm);
    void rearm();
    void goOff();

    QTimer timer_;
    Schedule due_;
    std::int64_t armedForMs_ = 0;
    std::uint64_t pass_ = 0; // the passes of goOff so far
};
