#pragma once

#include "connections/BrokerFrame.h"

#include <QByteArray>
#include <QList>

namespace devsim {

// The broker's reader of one client's byte stream: joins frames split over several segments,
// takes several frames out of one segment, and skips what is not a valid frame (bytes before a
// lead byte, a header whose bytes 8 and 9 are not 03 00, a frame whose CRC fails, a length
// beyond the receive buffer) by moving on to the next lead byte, so one damaged frame costs
// only itself.
class FrameAssembler {
public:
    struct Output {
        QList<BrokerFrame::Frame> frames;
        int skippedBytes = 0;
    };

    Output feed(const QByteArray& bytes);
    // Bytes of an unfinished frame waiting for the rest.
    qsizetype pending() const { return buffer_.size(); }
    // Gives up an unfinished frame (the client went silent in the middle of it).
    void dropPending() { buffer_.clear(); }

private:
    QByteArray buffer_;
};

} // namespace devsim
