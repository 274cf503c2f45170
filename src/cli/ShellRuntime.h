#pragma once

#include "cli/ShellOutput.h"
#include "platform/QtRuntime.h"

class FleetChannel;

// The runtime of velkor-cli: Qt's, with the debug lines of --debug printed the way every other
// message is. A fleet member's runtime, made while the member's channel is the current one,
// runs everything the event loop calls for the member (its timers, alarms and network events)
// with that channel current: many members share one thread, and each one's messages, output
// and stop checks stay its own; their timers and alarms share the thread's one Qt timer. Such
// a runtime never runs the event loop from inside a call: the other members' work would run
// nested in this one's.
class ShellRuntime : public QtRuntime {
public:
    ShellRuntime();

    void debugLine(const QString& line) override {
        ShellOutput::print(stderr, line + QLatin1Char('\n'));
    }
    void processEvents() override;
    std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTick) override;
    std::unique_ptr<Alarm> createAlarm(std::function<void()> onAlarm) override;
    std::function<void()> bound(std::function<void()> f) override;

private:
    FleetChannel* channel_;
};
