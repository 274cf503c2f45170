#include "PacedInput.h"

#include "Bounds.h"

namespace devsim {

PacedInput::PacedInput(int baud, QObject* parent) : QObject(parent), line_(baud) {
    connect(&timer_, &DueTimer::due, this, &PacedInput::deliverDue);
}

bool PacedInput::push(const QByteArray& bytes, bool whole) {
    const qsizetype cost = bytes.size() + kPieceCost;
    if (held_ + cost > kMaxInputInFlight) {
        return false;
    }
    held_ += cost;
    inFlight_.append(InFlight{line_.send(bytes.size(), timer_.nowNs()), bytes, whole});
    scheduleNext();
    return true;
}

void PacedInput::clear() {
    inFlight_.clear();
    held_ = 0;
    line_.clear();
    timer_.stop();
}

void PacedInput::deliverDue() {
    while (!inFlight_.isEmpty() && inFlight_.front().dueNs <= timer_.nowNs()) {
        const InFlight arrived = inFlight_.takeFirst();
        held_ -= arrived.bytes.size() + kPieceCost;
        emit crossed(arrived.bytes, arrived.whole);
    }
    scheduleNext();
}

void PacedInput::scheduleNext() {
    if (!inFlight_.isEmpty() && !timer_.isActive()) {
        timer_.startAt(inFlight_.front().dueNs);
    }
}

} // namespace devsim
