#pragma once

#include "core/Runtime.h"

#include <QElapsedTimer>
#include <QTimer>

// The runtime of the application and the shell front end: Qt's event loop and precise timers.
class QtRuntime : public Runtime {
public:
    QtRuntime();

    std::uint32_t tickCount() const override;
    QDateTime now() const override;
    void sleep(int ms) override;
    void processEvents() override;
    void awaitEvents(int maxMs) override;
    bool terminating() const override { return terminating_; }
    std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTick) override;
    std::unique_ptr<Alarm> createAlarm(std::function<void()> onAlarm) override;
    void debugLine(const QString& line) override;

    void setTerminating(bool terminating) { terminating_ = terminating; }
    // Called before every pass of processEvents (the window mirrors the model there).
    void setBeforeEvents(std::function<void()> hook) { beforeEvents_ = std::move(hook); }

private:
    QElapsedTimer clock_;
    std::uint32_t tickBase_ = 0;
    bool terminating_ = false;
    std::function<void()> beforeEvents_;
    // Wakes a sleeping awaitEvents when its time is up.
    QTimer wake_;
};
