#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace devsim {

// A single-shot timer that fires at a moment given in nanoseconds on its own monotonic clock,
// finer than the event loop's whole milliseconds: it wakes at the last whole millisecond before
// the moment and sleeps the rest. A paced line of 115200 baud carries a byte every 87 us, so
// rounding every wait up to a millisecond would slow it by a good part.
class DueTimer : public QObject {
    Q_OBJECT
public:
    explicit DueTimer(QObject* parent = nullptr);

    qint64 nowNs() const { return clock_.nsecsElapsed(); }
    void startAt(qint64 dueNs);
    void stop() { timer_.stop(); }
    bool isActive() const { return timer_.isActive(); }

signals:
    void due();

private:
    void fire();

    QElapsedTimer clock_;
    QTimer timer_;
    qint64 dueNs_ = 0;
};

} // namespace devsim
