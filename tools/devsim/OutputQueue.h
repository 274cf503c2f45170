#pragma once

#include "Piece.h"

#include <QObject>
#include <QTimer>

namespace devsim {

// Writes pieces in order, each after its pause, on the event loop.
class OutputQueue : public QObject {
    Q_OBJECT
public:
    explicit OutputQueue(QObject* parent = nullptr);

    void enqueue(const Pieces& pieces);
    // Drops what is still waiting (the connection restarts or goes away).
    void clear();
    bool isIdle() const { return waiting_.isEmpty(); }

signals:
    void write(const QByteArray& bytes);
    // Also emitted, after write, for the bytes of an unsolicited piece.
    void wroteUnsolicited(const QByteArray& bytes);
    void closeRequested();

private:
    void next();
    void fire();

    Pieces waiting_;
    QTimer timer_;
};

} // namespace devsim
