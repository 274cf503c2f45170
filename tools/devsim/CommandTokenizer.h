#pragma once

#include <QByteArray>
#include <QList>

namespace devsim {

// Cuts the byte stream of one connection into commands. A command ends at CR or LF (a CR LF
// pair, or any run of line ends, yields no empty command), or, when the sender adds no line
// end, at a pause: the owner calls flush() once the connection has been silent for the idle
// gap. Bytes of one command may arrive in any number of pieces.
class CommandTokenizer {
public:
    // Longest command kept; a longer run without a line end is cut into commands of this size
    // so that a peer sending endless bytes cannot grow the buffer without bound.
    static constexpr qsizetype kMaxCommand = 8192;

    // The commands completed by these bytes, in order.
    QList<QByteArray> feed(const QByteArray& bytes);
    // The bytes received since the last command end, as a command (empty: nothing pending).
    QByteArray flush();
    bool hasPending() const { return !pending_.isEmpty(); }

private:
    QByteArray pending_;
};

} // namespace devsim
