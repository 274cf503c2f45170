#pragma once

#include "DueTimer.h"
#include "SerialLine.h"

#include <QByteArray>
#include <QList>
#include <QObject>

namespace devsim {

// The controller's receiving side of a paced serial line: bytes that reach the simulator at
// once over a socket are handed on only when they would have crossed the line.
class PacedInput : public QObject {
    Q_OBJECT
public:
    explicit PacedInput(int baud, QObject* parent = nullptr);

    bool paced() const { return line_.paced(); }
    // Bytes of the stream, or (whole) one whole command, put on the line now. False, and nothing
    // taken, when they would make what is still crossing pass kMaxInputInFlight (Bounds.h).
    bool push(const QByteArray& bytes, bool whole);
    // Forgets what is still crossing (the connection restarts).
    void clear();

signals:
    void crossed(const QByteArray& bytes, bool whole);

private:
    struct InFlight {
        qint64 dueNs;
        QByteArray bytes;
        bool whole;
    };

    void deliverDue();
    void scheduleNext();

    SerialLine line_;
    QList<InFlight> inFlight_;
    // The bytes in flight, each piece counted with what keeping it costs (kPieceCost).
    qsizetype held_ = 0;
    DueTimer timer_;
};

} // namespace devsim
