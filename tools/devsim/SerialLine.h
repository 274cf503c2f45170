#pragma once

#include <QtGlobal>

namespace devsim {

// The timing of one direction of a serial line at a given speed, 10 bits a byte (start bit,
// 8 data bits, stop bit): when bytes put on the line have crossed it. Bytes queue behind those
// still crossing. A speed of 0 is no line at all: bytes cross at once.
class SerialLine {
public:
    explicit SerialLine(int baud = 0) : baud_(baud) {}

    bool paced() const { return baud_ > 0; }
    // Nanoseconds one byte takes to cross.
    qint64 byteNs() const { return paced() ? 10'000'000'000LL / baud_ : 0; }
    // Puts `bytes` on the line at nowNs (or behind what is still crossing) and returns when
    // the last of them has crossed; both on the same monotonic clock.
    qint64 send(qsizetype bytes, qint64 nowNs);
    // The line is idle again (the connection restarts).
    void clear() { busyUntilNs_ = 0; }

private:
    int baud_;
    qint64 busyUntilNs_ = 0;
};

} // namespace devsim
