#include "BrokerFrames.h"

namespace devsim {
namespace {

QByteArray oneFrame(std::uint32_t hardwareId, const QByteArray& payload, FaultPlan& faults,
                    bool damaged) {
    QByteArray bytes = BrokerFrame::encode({BrokerFrame::kCommandCode, hardwareId, payload});
    if (faults.badCrc() || damaged) {
        bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x5A);
    }
    return bytes;
}

} // namespace

Pieces framePiece(std::uint32_t hardwareId, const QByteArray& piece, FaultPlan& faults,
                  bool damaged) {
    QByteArray bytes;
    if (faults.doubleFrame()) {
        const qsizetype half = piece.size() / 2;
        bytes = oneFrame(hardwareId, piece.left(half), faults, damaged);
        bytes += oneFrame(hardwareId, piece.mid(half), faults, damaged);
    } else {
        bytes = oneFrame(hardwareId, piece, faults, damaged);
    }
    if (faults.splitFrame()) {
        const qsizetype cut = bytes.size() / 2;
        return {Piece{0, bytes.left(cut)}, Piece{faults.options().frameGapMs, bytes.mid(cut)}};
    }
    return {Piece{0, bytes}};
}

QByteArray notFoundFrame(std::uint32_t hardwareId) {
    return BrokerFrame::encode(
        {std::uint8_t(BrokerFrame::kCommandCode | BrokerFrame::kNotFoundBit), hardwareId, {}});
}

} // namespace devsim
