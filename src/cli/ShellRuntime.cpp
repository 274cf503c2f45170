#include "cli/ShellRuntime.h"

#include "cli/FleetChannel.h"

ShellRuntime::ShellRuntime() : channel_(FleetChannel::current()) {}

void ShellRuntime::processEvents() {
    if (channel_ == nullptr) {
        QtRuntime::processEvents();
    }
}

std::unique_ptr<Timer> ShellRuntime::createTimer(int intervalMs, std::function<void()> onTick) {
    return QtRuntime::createTimer(intervalMs, bound(std::move(onTick)));
}

std::unique_ptr<Alarm> ShellRuntime::createAlarm(std::function<void()> onAlarm) {
    return QtRuntime::createAlarm(bound(std::move(onAlarm)));
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
