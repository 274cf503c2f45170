#include "cli/ShellRuntime.h"

#include "cli/FleetChannel.h"
#include "platform/AlarmHub.h"

ShellRuntime::ShellRuntime() : channel_(FleetChannel::current()) {}

void ShellRuntime::processEvents() {
    if (channel_ == nullptr) {
        QtRuntime::processEvents();
    }
}

// A member's timers and alarms share the one Qt timer of their thread (AlarmHub): hundreds of
// members each with a Qt timer per wait would have every start of one search a long list.
std::unique_ptr<Timer> ShellRuntime::createTimer(int intervalMs, std::function<void()> onTick) {
    if (channel_ == nullptr) {
        return QtRuntime::createTimer(intervalMs, std::move(onTick));
    }
    return AlarmHub::ofThisThread().createTimer(intervalMs, bound(std::move(onTick)));
}

std::unique_ptr<Alarm> ShellRuntime::createAlarm(std::function<void()> onAlarm) {
    if (channel_ == nullptr) {
        return QtRuntime::createAlarm(std::move(onAlarm));
    }
    return AlarmHub::ofThisThread().createAlarm(bound(std::move(onAlarm)));
}

std::function<void()> ShellRuntime::bound(std::function<void()> f) {
    if (channel_ == nullptr) {
        return f;
    }
    return [channel = channel_, f = std::move(f)] {
        const FleetChannel::Scope scope(channel);
        f();
    };
}
