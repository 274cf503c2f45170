#include "BrokerReceiver.h"

using namespace BrokerFrame;

namespace {
constexpr qsizetype kLengthEnd = 8; // the length field ends at offset 8
} // namespace

qsizetype BrokerReceiver::frameSize(const QByteArray& bytes, qsizetype at) {
    return qsizetype(lengthField(bytes.constData() + at)) + kOverhead;
}

BrokerReceiver::Head BrokerReceiver::headAt(const QByteArray& bytes, qsizetype at) {
    const qsizetype available = bytes.size() - at;
    if (available < kLengthEnd) {
        return Head::Incomplete;
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

std::optional<qsizetype> BrokerReceiver::brokenFrameEnd() const {
    // A head with the lead byte, a length within bounds and the fixed bytes 8 and 9 of a frame
    // is taken as a frame damaged inside (its CRC failed): it ends where its length says,
    // unless a valid frame starts within it.
    const qsizetype size = frameSize(pending_, 0);
    if (std::uint8_t(pending_.at(0)) != kLeadByte || size > kReceiveBufferSize ||
        pending_.at(8) != 0x03 || pending_.at(9) != 0x00) {
        return std::nullopt;
    }
    for (qsizetype at = 1; at < size; ++at) {
        if (std::uint8_t(pending_.at(at)) == kLeadByte && headAt(pending_, at) == Head::Valid) {
            return at;
        }
    }
    return size;
}

std::optional<qsizetype> BrokerReceiver::resyncPoint() const {
    // The head cannot be a frame. The bytes before the first lead byte that can still start a
    // frame are broken; when that start is only incomplete, nothing is decided yet (it may be
    // a byte inside the damaged frame), and the bytes wait for more.
    for (qsizetype at = 1; at < pending_.size(); ++at) {
        if (std::uint8_t(pending_.at(at)) != kLeadByte) {
            continue;
        }
        const Head head = headAt(pending_, at);
        if (head == Head::Valid) {
            return at;
        }
        if (head == Head::Incomplete) {
            return std::nullopt;
        }
    }
    return pending_.size();
}

QList<BrokerReceiver::Piece> BrokerReceiver::feed(const QByteArray& chunk) {
    pending_.append(chunk);
    QList<Piece> pieces;
    while (!pending_.isEmpty()) {
        const Head head = headAt(pending_, 0);
        if (head == Head::Incomplete) {
            break;
        }
        if (head == Head::Valid) {
            const qsizetype size = frameSize(pending_, 0);
            Piece piece{pending_.left(size), decode(pending_.constData(), int(size))};
            pieces.append(std::move(piece));
            pending_.remove(0, size);
            continue;
        }
        const std::optional<qsizetype> cut = brokenFrameEnd().value_or(resyncPoint().value_or(-1));
        if (*cut < 0) {
            break;
        }
        // A run of garbage is one broken piece, however many resynchronisations it takes.
        if (!pieces.isEmpty() && !pieces.last().frame) {
            pieces.last().raw.append(pending_.left(*cut));
        } else {
            pieces.append(Piece{pending_.left(*cut), std::nullopt});
        }
        pending_.remove(0, *cut);
    }
    return pieces;
}

std::optional<BrokerReceiver::Piece> BrokerReceiver::flush() {
    if (pending_.isEmpty()) {
        return std::nullopt;
    }
    Piece piece{pending_, std::nullopt};
    pending_.clear();
    return piece;
}
