#pragma once

#include "BrokerFrame.h"
#include "CrcWindows.h"

#include <QByteArray>
#include <QList>

// Cuts the broker's TCP byte stream back into frames. TCP keeps no message boundaries: one
// data-available event may carry part of a frame, or several frames. The receiver keeps the
// bytes of an incomplete frame until the rest arrives and hands out, in order, every complete
// frame and every run of bytes that cannot be a frame.
//
// A frame is known by its length field and its CRC alone: the lead byte, the code and bytes 8
// and 9 may hold anything (brokers differ there). Bytes that cannot be a frame come out as one
// broken piece, and the stream is resynchronised:
// - where a frame is due (at the start, after a frame, after a damaged frame), a head with a
//   length within the 4098-byte receive buffer that fails its CRC is a frame damaged inside:
//   it ends where its length says, unless a valid frame starts within it (while one there
//   may still be arriving, it is waited for);
// - any other head (garbage, or a length beyond the buffer) is broken up to the next position
//   that can still start a frame: a valid one, or one whose end has not arrived yet;
// - a head whose end has not arrived yet is waited for; out of step (after garbage) only while
//   no whole valid frame follows it.
// So what is held back is at most one incomplete frame (under 4098 bytes).
//
// When a new command goes out while a frame is incomplete, that frame belongs to the exchange
// that is over, but it keeps its place in the stream: markStale() flags it, and the piece it
// becomes (the whole frame, or the broken bytes when it cannot be one) comes out with stale set,
// so that its bytes are reported without being taken as the answer to the new command.
class BrokerReceiver {
public:
    struct Piece {
        QByteArray raw;                          // the bytes as received
        std::optional<BrokerFrame::Frame> frame; // empty for a broken piece
        bool stale = false; // the rest of a frame begun before the last command went out
        // A broken piece whose length field made it a frame: a damaged frame, not noise.
        bool frameShaped = false;
    };

    // Adds received bytes; returns the pieces they complete, in stream order.
    QList<Piece> feed(const QByteArray& chunk);
    // Gives up on the incomplete frame held (it never completed): returns it as a broken
    // piece, or nothing when no bytes are held.
    std::optional<Piece> flush();
    void clear();
    // Flags the incomplete frame held, if any, as belonging to an exchange that is over.
    void markStale() {
        stale_ = !pending_.isEmpty();
        staleCut_ = false;
    }
    bool holdsStaleFrame() const { return stale_ && !staleCut_; }

    // Bytes of an incomplete frame held back.
    qsizetype pendingSize() const { return pending_.size(); }
    // The bytes held start with a frame whole by its length that failed its CRC check; they are
    // held only in case a frame that starts inside them is still arriving. Its size, or 0.
    qsizetype heldDamagedFrame() const;
    const QByteArray& held() const { return pending_; }

private:
    enum class Head { Incomplete, Valid, Broken };
    Head headAt(qsizetype at) const;
    qsizetype frameSize(qsizetype at) const;
    // The first position in [from, to) where a whole valid frame starts.
    std::optional<qsizetype> nextValid(qsizetype from, qsizetype to) const;
    // Where the broken bytes from start end, for a head that is not a valid frame; nullopt
    // when the head must be waited for.
    std::optional<qsizetype> brokenEnd(qsizetype start, Head head, bool* frameShaped);
    std::optional<qsizetype> damagedFrameEnd(qsizetype start, qsizetype size) const;
    qsizetype resyncPoint(qsizetype start) const;

    // frameShaped: a whole frame, damaged inside, rather than garbage.
    void append(QList<Piece>& pieces, Piece piece, bool frameShaped);

    QByteArray pending_;
    CrcWindows crc_;        // over pending_
    bool frameDue_ = true;  // pending_ starts where a frame should start
    bool stale_ = false;    // what comes next belongs to a stale frame
    bool staleCut_ = false; // the stale head turned out garbage and has been cut
};
