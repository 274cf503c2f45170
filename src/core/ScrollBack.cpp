#include "ScrollBack.h"

#include <cstring>

namespace {

// Calls onFound with every place of c in [begin, end); memchr finds them a word at a time.
template <typename OnFound>
void forEachByte(const char* begin, const char* end, char c, OnFound onFound) {
    for (const char* p = begin;
         (p = static_cast<const char*>(std::memchr(p, c, std::size_t(end - p)))) != nullptr; ++p) {
        onFound(p);
    }
}

} // namespace

qsizetype ScrollBack::rows(const QByteArray& line) {
    const char* const begin = line.constData();
    const char* const end = begin + line.size();
    qsizetype breaks = 0;
    forEachByte(begin, end, '\n', [&](const char*) { ++breaks; });
    // CR LF is one break: a CR counts only when no LF follows it.
    forEachByte(begin, end, '\r', [&](const char* p) {
        if (p + 1 == end || p[1] != '\n') {
            ++breaks;
        }
    });
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
    trim();
}

void ScrollBack::setLimits(qsizetype maxRows, qsizetype maxBytes) {
    maxRows_ = maxRows;
    maxBytes_ = maxBytes;
    trim();
}

void ScrollBack::trim() {
    while (lines_.size() > 1 && (rows_ > maxRows_ || bytes_ > maxBytes_)) {
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
