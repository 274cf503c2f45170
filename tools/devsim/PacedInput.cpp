#include "PacedInput.h"

namespace devsim {

PacedInput::PacedInput(int baud, QObject* parent) : QObject(parent), line_(baud) {
    connect(&timer_, &DueTimer::due, this, &PacedInput::deliverDue);
}

void PacedInput::push(const QByteArray& bytes, bool whole) {
    inFlight_.append(InFlight{line_.send(bytes.size(), timer_.nowNs()), bytes, whole});
    scheduleNext();
}

void PacedInput::clear() {
    inFlight_.clear();
    line_.clear();
    timer_.stop();
}

void PacedInput::deliverDue() {
    while (!inFlight_.isEmpty() && inFlight_.front().dueNs <= timer_.nowNs()) {
        const InFlight arrived = inFlight_.takeFirst();
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
