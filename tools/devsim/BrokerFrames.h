#pragma once

#include "FaultPlan.h"
#include "Piece.h"
#include "connections/BrokerFrame.h"

namespace devsim {

// The broker's writes for one answer piece of a controller: normally one frame in one write;
// with the frame faults a damaged CRC, a frame written in two parts, or the piece as two frames
// in one write. Every frame of a damaged piece has a bad CRC.
Pieces framePiece(std::uint32_t hardwareId, const QByteArray& piece, FaultPlan& faults,
                  bool damaged = false);

// The broker's answer to a frame for a hardware id it has no controller for: code with bit 7 set,
// no payload.
QByteArray notFoundFrame(std::uint32_t hardwareId);

} // namespace devsim
