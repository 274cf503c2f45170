#include "ScrollBack.h"

qsizetype ScrollBack::rows(const QByteArray& line) {
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        // CR LF is one break.
        if (c == '\n' || (c == '\r' && (i + 1 == line.size() || line.at(i + 1) != '\n'))) {
            ++breaks;
        }
    }
    const bool textAfter = line.isEmpty() || (!line.endsWith('\n') && !line.endsWith('\r'));
    return breaks + (textAfter ? 1 : 0);
}

void ScrollBack::append(const QByteArray& line) {
    // A chunk read from a socket may sit in the reader's whole buffer (a one-byte read keeps
    // 16 KB): only its bytes are kept.
    const bool roomy = line.capacity() > line.size() + kLineOverhead;
    lines_.append(roomy ? QByteArray(line.constData(), line.size()) : line);
    rows_ += rows(line);
    bytes_ += cost(line);
    while (lines_.size() > 1 && (rows_ > kMaxRows || bytes_ > kMaxBytes)) {
        dropOldest();
    }
}

void ScrollBack::dropOldest() {
    const QByteArray& oldest = lines_.constFirst();
    rows_ -= rows(oldest);
    bytes_ -= cost(oldest);
    lines_.removeFirst();
    ++first_;
}

void ScrollBack::clear() {
    first_ = endNumber();
    lines_.clear();
    rows_ = 0;
    bytes_ = 0;
}

ScrollBack& ScrollBack::operator=(const QList<QByteArray>& lines) {
    clear();
    for (const QByteArray& line : lines) {
        append(line);
    }
    return *this;
}
