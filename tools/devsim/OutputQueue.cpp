#include "OutputQueue.h"

#include "Bounds.h"

#include <algorithm>

namespace devsim {
namespace {

// Bytes written together on a paced line: about a millisecond's worth at 115200 baud.
constexpr qsizetype kChunk = 12;

} // namespace

OutputQueue::OutputQueue(int paceBaud, QObject* parent) : QObject(parent), line_(paceBaud) {
    connect(&timer_, &DueTimer::due, this, &OutputQueue::fire);
}

void OutputQueue::enqueue(const Pieces& pieces) {
    if (overflowed_) {
        return;
    }
    const bool wasIdle = waiting_.isEmpty();
    waiting_.append(pieces);
    for (const Piece& piece : pieces) {
        queued_ += piece.bytes.size() + kPieceCost;
    }
    if (wasIdle) {
        next();
    }
    checkBound();
}

void OutputQueue::clear() {
    waiting_.clear();
    queued_ = 0;
    timer_.stop();
    onLine_ = false;
    overflowed_ = false;
}

void OutputQueue::checkBound() {
    const qsizetype unread = queued_ + (backlog_ ? backlog_() : 0);
    if (!overflowed_ && unread > kMaxUnreadOutput) {
        clear();
        overflowed_ = true;
        emit overflowed(unread);
    }
}

void OutputQueue::next() {
    if (!waiting_.isEmpty() && !timer_.isActive()) {
        if (atOnce_ && waiting_.front().delayMs <= 0 && !line_.paced()) {
            fire();
            return;
        }
        const qint64 pauseNs = qint64(std::max(0, waiting_.front().delayMs)) * 1'000'000;
        timer_.startAt(timer_.nowNs() + pauseNs);
    }
}

void OutputQueue::fire() {
    if (waiting_.isEmpty()) {
        return;
    }
    if (line_.paced() && !waiting_.front().bytes.isEmpty()) {
        if (!writeCrossed()) {
            checkBound();
            return;
        }
    } else {
        emitBytes(waiting_.front().bytes, waiting_.front());
        if (waiting_.isEmpty()) {
            return; // the write cleared the queue
        }
    }
    const Piece piece = waiting_.takeFirst();
    queued_ -= piece.bytes.size() + kPieceCost;
    if (piece.closeAfter) {
        waiting_.clear();
        queued_ = 0;
        emit closeRequested();
        return;
    }
    next();
    checkBound();
}

bool OutputQueue::writeCrossed() {
    const Piece& piece = waiting_.front();
    const qint64 now = timer_.nowNs();
    if (!onLine_) {
        onLine_ = true;
        written_ = 0;
        lineStartNs_ = now;
    }
    const qsizetype crossed =
        std::min<qsizetype>(piece.bytes.size(), qsizetype((now - lineStartNs_) / line_.byteNs()));
    if (crossed > written_) {
        emitBytes(piece.bytes.mid(written_, crossed - written_), piece);
        written_ = crossed;
    }
    if (written_ < piece.bytes.size()) {
        const qsizetype upTo = std::min(piece.bytes.size(), written_ + kChunk);
        timer_.startAt(lineStartNs_ + qint64(upTo) * line_.byteNs());
        return false;
    }
    onLine_ = false;
    return true;
}

void OutputQueue::emitBytes(const QByteArray& bytes, const Piece& piece) {
    if (bytes.isEmpty()) {
        return;
    }
    emit write(bytes, piece.damaged);
    if (piece.unsolicited) {
        emit wroteUnsolicited(bytes);
    }
}

} // namespace devsim
