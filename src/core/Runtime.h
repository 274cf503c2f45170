#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// A timer on the user-interface thread. Its tick runs only while the thread processes pending
// events. Enabled or not is part of the loader's state: Timer3 running is the connection-alive
// signal that every wait loop reads.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    virtual int intervalMs() const = 0;
    // Stops waking the thread while its owner knows that the ticks would only count down; the
    // timer stays enabled. resume() runs the ticks that fell due meanwhile, one call each, and
    // goes on in the same rhythm, so the suspension changes nothing but the wakes. Enabling a
    // suspended timer resumes it.
    virtual void suspend() = 0;
    virtual void resume() = 0;
    // Suspends the timer for its next `ticks` ticks only: it wakes at the tick after them and
    // runs the ones it skipped first, as resume() does. For an owner that knows those ticks
    // would only count down. A suspended timer is woken the same way.
    virtual void skipTicks(int ticks) = 0;
    void start() { setEnabled(true); }
    void stop() { setEnabled(false); }
};

// A one-shot wake at a time to come, set again and again by its owner (the end of an answer
// wait): cheaper than a timer made for each wait.
class Alarm {
public:
    virtual ~Alarm() = default;
    // Calls the owner's function once, ms from now; setting it again moves that time.
    virtual void set(int ms) = 0;
    virtual void cancel() = 0;
};

// Everything the core needs of time and of the event loop. The real runtime runs on Qt's event
// loop; the virtual runtime of the tests advances time only when the code sleeps, so a long
// time-out runs in microseconds and always the same way.
class Runtime {
public:
    virtual ~Runtime() = default;

    // The 32-bit millisecond tick counter; it wraps.
    virtual std::uint32_t tickCount() const = 0;
    // The local date and time.
    virtual QDateTime now() const = 0;
    // Pauses the thread; no event is processed meanwhile.
    virtual void sleep(int ms) = 0;
    // Runs the pending events: timer ticks, receptions, user clicks.
    virtual void processEvents() = 0;
    // Sleeps until something happens (a timer tick, a reception, a user click) or maxMs pass,
    // then runs what happened as processEvents does. A wait that sleeps this way uses no
    // processor time while nothing happens and still answers every event at once.
    virtual void awaitEvents(int maxMs) = 0;
    // The application has been asked to quit.
    virtual bool terminating() const = 0;
    // A timer that calls onTick every intervalMs while enabled; created stopped.
    virtual std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTick) = 0;
    // An alarm that calls onAlarm from the event loop when it goes off; created unset.
    virtual std::unique_ptr<Alarm> createAlarm(std::function<void()> onAlarm) = 0;
    // The function as the event loop is to call it for this runtime's owner (a network
    // client's events): the shell runs each fleet member's in the member's own context.
    virtual std::function<void()> bound(std::function<void()> f) { return f; }
    // One line on the debug output channel.
    virtual void debugLine(const QString& line) = 0;
};
