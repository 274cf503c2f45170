#pragma once

#include <QByteArray>
#include <QList>

namespace devsim {

// Bytes to write after a pause (counted from the previous write of the same connection).
struct Piece {
    int delayMs = 0;
    QByteArray bytes;
    bool closeAfter = false;  // close the connection once these bytes are written
    bool unsolicited = false; // not an answer to a command (the restart banner)
    bool damaged = false;     // to reach the loader damaged (the way in decides how)
};

using Pieces = QList<Piece>;

} // namespace devsim
