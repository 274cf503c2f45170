#include "QtRuntime.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

class QtTimer : public Timer {
public:
    QtTimer(int intervalMs, std::function<void()> onTick) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [tick = std::move(onTick)] { tick(); });
    }
    void setEnabled(bool enabled) override {
        if (enabled == timer_.isActive()) {
            return;
        }
        if (enabled) {
            timer_.start();
        } else {
            timer_.stop();
        }
    }
    bool enabled() const override { return timer_.isActive(); }
    int intervalMs() const override { return timer_.interval(); }

private:
    QTimer timer_;
};

} // namespace

QtRuntime::QtRuntime() {
    clock_.start();
    // Start the counter where the system's monotonic clock stands, as a tick count would.
    tickBase_ = std::uint32_t(QDeadlineTimer::current().deadline());
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
}

std::uint32_t QtRuntime::tickCount() const {
    return tickBase_ + std::uint32_t(clock_.elapsed());
}

QDateTime QtRuntime::now() const {
    return QDateTime::currentDateTime();
}

void QtRuntime::sleep(int ms) {
    if (ms > 0) {
        QThread::msleep(static_cast<unsigned long>(ms));
    }
}

void QtRuntime::processEvents() {
    if (beforeEvents_) {
        beforeEvents_();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtRuntime::awaitEvents(int maxMs) {
    if (maxMs <= 0) {
        processEvents();
        return;
    }
    if (beforeEvents_) {
        beforeEvents_();
    }
    // The event loop sleeps in the system until one of its sources is ready; the single-shot
    // timer is the source that ends the sleep when nothing else does.
    wake_.start(maxMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake_.stop();
}

std::unique_ptr<Timer> QtRuntime::createTimer(int intervalMs, std::function<void()> onTick) {
    return std::make_unique<QtTimer>(intervalMs, std::move(onTick));
}

void QtRuntime::debugLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
