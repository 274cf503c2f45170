#pragma once

#include "DueTimer.h"
#include "Piece.h"
#include "SerialLine.h"

#include <QObject>
#include <functional>

namespace devsim {

// Writes pieces in order, each after its pause, on the event loop. On a paced line the bytes of
// a piece are written as they cross the line, a few at a time, instead of all at once.
// The bytes waiting here and those the way out still holds (its backlog) are the connection's
// unread output: once they pass kMaxUnreadOutput (Bounds.h) the queue drops what waits, takes
// nothing more until clear() and says so (overflowed); its owner drops the connection.
class OutputQueue : public QObject {
    Q_OBJECT
public:
    explicit OutputQueue(int paceBaud = 0, QObject* parent = nullptr);

    void enqueue(const Pieces& pieces);
    // Drops what is still waiting (the connection restarts or goes away) and takes pieces again
    // after an overflow.
    void clear();
    bool isIdle() const { return waiting_.isEmpty(); }
    // The bytes of the pieces waiting, each counted with what keeping it costs (kPieceCost).
    qsizetype queuedBytes() const { return queued_; }
    // The bytes written that the way out still holds for its peer (a socket's write buffer).
    void setBacklog(std::function<qsizetype()> backlog) { backlog_ = std::move(backlog); }
    // Pieces due at once on an unpaced line are written by the call that queues them (or that
    // wrote the piece before), not from the event loop's next pass: for a way out whose pieces
    // come already paced (a broker client's frames of a controller's answers).
    void setWritesDueAtOnce(bool atOnce) { atOnce_ = atOnce; }

signals:
    // damaged: the bytes are to reach the loader damaged (the way in decides how).
    void write(const QByteArray& bytes, bool damaged);
    // Also emitted, after write, for the bytes of an unsolicited piece.
    void wroteUnsolicited(const QByteArray& bytes);
    void closeRequested();
    // The unread output passed its bound (unread bytes): what waited is dropped.
    void overflowed(qsizetype unread);

private:
    void next();
    void fire();
    // Writes what of the front piece has crossed the line; false while some is still crossing.
    bool writeCrossed();
    void emitBytes(const QByteArray& bytes, const Piece& piece);
    void checkBound();

    Pieces waiting_;
    qsizetype queued_ = 0;
    std::function<qsizetype()> backlog_;
    bool overflowed_ = false;
    bool atOnce_ = false;
    DueTimer timer_;
    SerialLine line_;
    // The front piece on a paced line: when its first byte went out, and how much is written.
    bool onLine_ = false;
    qint64 lineStartNs_ = 0;
    qsizetype written_ = 0;
};

} // namespace devsim
