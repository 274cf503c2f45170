#pragma once

#include "DueTimer.h"
#include "Piece.h"
#include "SerialLine.h"

#include <QObject>

namespace devsim {

// Writes pieces in order, each after its pause, on the event loop. On a paced line the bytes of
// a piece are written as they cross the line, a few at a time, instead of all at once.
class OutputQueue : public QObject {
    Q_OBJECT
public:
    explicit OutputQueue(int paceBaud = 0, QObject* parent = nullptr);

    void enqueue(const Pieces& pieces);
    // Drops what is still waiting (the connection restarts or goes away).
    void clear();
    bool isIdle() const { return waiting_.isEmpty(); }

signals:
    // damaged: the bytes are to reach the loader damaged (the way in decides how).
    void write(const QByteArray& bytes, bool damaged);
    // Also emitted, after write, for the bytes of an unsolicited piece.
    void wroteUnsolicited(const QByteArray& bytes);
    void closeRequested();

private:
    void next();
    void fire();
    // Writes what of the front piece has crossed the line; false while some is still crossing.
    bool writeCrossed();
    void emitBytes(const QByteArray& bytes, const Piece& piece);

    Pieces waiting_;
    DueTimer timer_;
    SerialLine line_;
    // The front piece on a paced line: when its first byte went out, and how much is written.
    bool onLine_ = false;
    qint64 lineStartNs_ = 0;
    qsizetype written_ = 0;
};

} // namespace devsim
