#include "OutputQueue.h"

namespace devsim {

OutputQueue::OutputQueue(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &OutputQueue::fire);
}

void OutputQueue::enqueue(const Pieces& pieces) {
    const bool wasIdle = waiting_.isEmpty();
    waiting_.append(pieces);
    if (wasIdle) {
        next();
    }
}

void OutputQueue::clear() {
    waiting_.clear();
    timer_.stop();
}

void OutputQueue::next() {
    if (!waiting_.isEmpty() && !timer_.isActive()) {
        timer_.start(std::max(0, waiting_.front().delayMs));
    }
}

void OutputQueue::fire() {
    if (waiting_.isEmpty()) {
        return;
    }
    const Piece piece = waiting_.takeFirst();
    if (!piece.bytes.isEmpty()) {
        emit write(piece.bytes);
        if (piece.unsolicited) {
            emit wroteUnsolicited(piece.bytes);
        }
    }
    if (piece.closeAfter) {
        waiting_.clear();
        emit closeRequested();
        return;
    }
    next();
}

} // namespace devsim
