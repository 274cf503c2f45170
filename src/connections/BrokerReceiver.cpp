#include "BrokerReceiver.h"

using namespace BrokerFrame;

namespace {
constexpr qsizetype kLengthEnd = 8; // the length field ends at offset 8
} // namespace

qsizetype BrokerReceiver::frameSize(const QByteArray& bytes, qsizetype at) {
    return qsizetype(lengthField(bytes.constData() + at)) + kOverhead;
}

BrokerReceiver::Head BrokerReceiver::headAt(const QByteArray& bytes, qsizetype at) {
    // Only a lead byte, with bytes 8 and 9 as sent, can start a frame: any other head held
    // as incomplete would swallow the frames behind it until its made-up length arrived.
    // (A few bytes are held whatever they are, so that short garbage comes out as one piece
    // however the chunks fall.)
    const qsizetype available = bytes.size() - at;
    if (available < kLengthEnd) {
        return Head::Incomplete;
    }
    if (std::uint8_t(bytes.at(at)) != kLeadByte ||
        (available >= kHeaderSize && (bytes.at(at + 8) != 0x03 || bytes.at(at + 9) != 0x00))) {
        return Head::Broken;
    }
    const qsizetype size = frameSize(bytes, at);
    if (size > kReceiveBufferSize) {
        return Head::Broken;
    }
    if (available < size) {
        return Head::Incomplete;
    }
    return CheckCrc16(bytes.constData() + at, int(size)) ? Head::Valid : Head::Broken;
}

std::optional<qsizetype> BrokerReceiver::brokenFrameEnd(qsizetype start) const {
    // nullopt: the head does not look like a frame.
    // A head with the lead byte, a length within bounds and the fixed bytes 8 and 9 of a frame
    // is taken as a frame damaged inside (its CRC failed): it ends where its length says,
    // unless a valid frame starts within it.
    if (pending_.size() - start < kHeaderSize || std::uint8_t(pending_.at(start)) != kLeadByte ||
        pending_.at(start + 8) != 0x03 || pending_.at(start + 9) != 0x00) {
        return std::nullopt;
    }
    const qsizetype size = frameSize(pending_, start);
    if (size > kReceiveBufferSize || size > pending_.size() - start) {
        return std::nullopt;
    }
    for (qsizetype at = start + 1; at < start + size; ++at) {
        if (std::uint8_t(pending_.at(at)) == kLeadByte && headAt(pending_, at) == Head::Valid) {
            return at;
        }
    }
    return start + size;
}

qsizetype BrokerReceiver::resyncPoint(qsizetype start) const {
    // The head cannot be a frame: the bytes up to the next lead byte that can still start a
    // frame (valid, or not complete yet) are broken.
    for (qsizetype at = start + 1; at < pending_.size(); ++at) {
        if (std::uint8_t(pending_.at(at)) == kLeadByte && headAt(pending_, at) != Head::Broken) {
            return at;
        }
    }
    return pending_.size();
}

QList<BrokerReceiver::Piece> BrokerReceiver::feed(const QByteArray& chunk) {
    pending_.append(chunk);
    QList<Piece> pieces;
    // The bytes handed out are dropped once at the end: dropping them frame by frame would
    // move the rest of a large chunk once per frame.
    qsizetype start = 0;
    while (start < pending_.size()) {
        const Head head = headAt(pending_, start);
        if (head == Head::Incomplete) {
            break;
        }
        if (head == Head::Valid) {
            const qsizetype size = frameSize(pending_, start);
            append(
                pieces,
                Piece{pending_.mid(start, size), decode(pending_.constData() + start, int(size))},
                true);
            start += size;
            continue;
        }
        const std::optional<qsizetype> damagedEnd = brokenFrameEnd(start);
        const qsizetype end = damagedEnd.value_or(resyncPoint(start));
        append(pieces, Piece{pending_.mid(start, end - start), std::nullopt},
               damagedEnd.has_value());
        start = end;
    }
    pending_.remove(0, start);
    return pieces;
}

void BrokerReceiver::append(QList<Piece>& pieces, Piece piece, bool frameShaped) {
    // The first piece cut from a stale head is the stale frame. When that head was garbage,
    // the garbage right behind it belongs to it too; the next frame-shaped piece is new.
    piece.stale = stale_ && (!staleCut_ || !frameShaped);
    staleCut_ = piece.stale;
    stale_ = stale_ && !frameShaped;
    // A run of garbage is one broken piece, however many resynchronisations it takes; the
    // broken bytes of a stale frame stay apart from those of the new answer.
    if (!piece.frame && !pieces.isEmpty() && !pieces.last().frame &&
        pieces.last().stale == piece.stale) {
        pieces.last().raw.append(piece.raw);
        return;
    }
    pieces.append(std::move(piece));
}

std::optional<BrokerReceiver::Piece> BrokerReceiver::flush() {
    if (pending_.isEmpty()) {
        return std::nullopt;
    }
    Piece piece{pending_, std::nullopt, stale_};
    pending_.clear();
    stale_ = false;
    staleCut_ = false;
    return piece;
}
