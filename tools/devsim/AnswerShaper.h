#pragma once

#include "FaultPlan.h"
#include "Piece.h"

namespace devsim {

// Cuts a text into the pieces a slow or faulty line delivers: --split pieces of nearly equal
// size, --gap apart, the first after `firstDelayMs`; then, for answers, the garbage fault.
Pieces shapeText(const QByteArray& text, int firstDelayMs, const FaultOptions& options);
Pieces shapeAnswer(const QByteArray& text, FaultPlan& faults);

} // namespace devsim
