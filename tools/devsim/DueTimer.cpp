#include "DueTimer.h"

#include <QThread>

namespace devsim {

DueTimer::DueTimer(QObject* parent) : QObject(parent) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &DueTimer::fire);
}

void DueTimer::startAt(qint64 dueNs) {
    dueNs_ = dueNs;
    const qint64 waitNs = dueNs - nowNs();
    timer_.start(int(std::max<qint64>(0, waitNs / 1'000'000)));
}

void DueTimer::fire() {
    const qint64 restNs = dueNs_ - nowNs();
    if (restNs > 0) {
        QThread::usleep(static_cast<unsigned long>((restNs + 999) / 1000));
    }
    emit due();
}

} // namespace devsim
