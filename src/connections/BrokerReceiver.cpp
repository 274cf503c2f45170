#include "BrokerReceiver.h"

using namespace BrokerFrame;

namespace {
constexpr qsizetype kLengthEnd = 8; // the length field ends at offset 8
} // namespace

qsizetype BrokerReceiver::frameSize(qsizetype at) const {
    return qsizetype(lengthField(pending_.constData() + at)) + kOverhead;
}

BrokerReceiver::Head BrokerReceiver::headAt(qsizetype at) const {
    const qsizetype available = pending_.size() - at;
    if (available < kLengthEnd) {
        return Head::Incomplete;
    }
    const qsizetype size = frameSize(at);
    if (size > kReceiveBufferSize) {
        return Head::Broken;
    }
    if (available < size) {
        return Head::Incomplete;
    }
    return crc_.zero(at, at + size) ? Head::Valid : Head::Broken;
}

qsizetype BrokerReceiver::heldDamagedFrame() const {
    if (!frameDue_ || headAt(0) != Head::Broken) {
        return 0;
    }
    const qsizetype size = frameSize(0);
    return size <= kReceiveBufferSize && pending_.size() >= size ? size : 0;
}

std::optional<qsizetype> BrokerReceiver::nextValid(qsizetype from, qsizetype to) const {
    for (qsizetype at = from; at < to; ++at) {
        if (headAt(at) == Head::Valid) {
            return at;
        }
    }
    return std::nullopt;
}

std::optional<qsizetype> BrokerReceiver::damagedFrameEnd(qsizetype start, qsizetype size) const {
    // A frame that starts within the damaged one wins. One there that may still be arriving
    // is waited for (cutting the damaged frame now would swallow its head), unless a whole
    // valid frame behind it says it is no frame.
    bool arriving = false;
    for (qsizetype at = start + 1; at < start + size; ++at) {
        const Head head = headAt(at);
        if (head == Head::Valid) {
            return at;
        }
        arriving = arriving || head == Head::Incomplete;
    }
    // The wait ends once as much as a whole receive buffer is held.
    if (arriving && pending_.size() - start < kReceiveBufferSize &&
        !nextValid(start + size, pending_.size())) {
        return std::nullopt;
    }
    return start + size;
}

qsizetype BrokerReceiver::resyncPoint(qsizetype start) const {
    // The bytes up to the next position that can still start a frame (valid, or not complete
    // yet) are broken.
    for (qsizetype at = start + 1; at < pending_.size(); ++at) {
        if (headAt(at) != Head::Broken) {
            return at;
        }
    }
    return pending_.size();
}

std::optional<qsizetype> BrokerReceiver::brokenEnd(qsizetype start, Head head, bool* frameShaped) {
    *frameShaped = false;
    if (head == Head::Incomplete) {
        // A frame still arriving, where one is due, is waited for. Out of step (after
        // garbage) it may be garbage too: a whole valid frame behind it says it is.
        return frameDue_ ? std::nullopt : nextValid(start + 1, pending_.size());
    }
    const qsizetype size = frameSize(start);
    if (frameDue_ && size <= kReceiveBufferSize) {
        *frameShaped = true;
        return damagedFrameEnd(start, size);
    }
    frameDue_ = false;
    return resyncPoint(start);
}

QList<BrokerReceiver::Piece> BrokerReceiver::feed(const QByteArray& chunk) {
    pending_.append(chunk);
    crc_.append(chunk);
    QList<Piece> pieces;
    // The bytes handed out are dropped once at the end: dropping them frame by frame would
    // move the rest of a large chunk once per frame.
    qsizetype start = 0;
    while (start < pending_.size()) {
        const Head head = headAt(start);
        if (head == Head::Valid) {
            const qsizetype size = frameSize(start);
            append(
                pieces,
                Piece{pending_.mid(start, size), decode(pending_.constData() + start, int(size))},
                true);
            frameDue_ = true;
            start += size;
            continue;
        }
        bool frameShaped = false;
        const std::optional<qsizetype> end = brokenEnd(start, head, &frameShaped);
        if (!end) {
            break;
        }
        append(pieces, Piece{pending_.mid(start, *end - start), std::nullopt}, frameShaped);
        start = *end;
    }
    pending_.remove(0, start);
    crc_.dropFront(start);
    return pieces;
}

void BrokerReceiver::append(QList<Piece>& pieces, Piece piece, bool frameShaped) {
    // The first piece cut from a stale head is the stale frame. When that head was garbage,
    // the garbage right behind it belongs to it too; the next frame-shaped piece is new.
    piece.stale = stale_ && (!staleCut_ || !frameShaped);
    piece.frameShaped = !piece.frame && frameShaped;
    staleCut_ = piece.stale;
    stale_ = stale_ && !frameShaped;
    // A run of garbage is one broken piece, however many resynchronisations it takes; the
    // broken bytes of a stale frame stay apart from those of the new answer.
    if (!piece.frame && !pieces.isEmpty() && !pieces.last().frame &&
        pieces.last().stale == piece.stale) {
        pieces.last().raw.append(piece.raw);
        pieces.last().frameShaped = pieces.last().frameShaped || piece.frameShaped;
        return;
    }
    pieces.append(std::move(piece));
}

std::optional<BrokerReceiver::Piece> BrokerReceiver::flush() {
    if (pending_.isEmpty()) {
        return std::nullopt;
    }
    // A frame begun and never completed: the bytes of a frame, damaged.
    Piece piece{pending_, std::nullopt, stale_, true};
    clear();
    return piece;
}

void BrokerReceiver::clear() {
    pending_.clear();
    crc_.clear();
    frameDue_ = true; // what comes after a pause or a new connection starts a frame
    stale_ = false;
    staleCut_ = false;
}
