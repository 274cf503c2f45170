#pragma once

#include "FaultPlan.h"
#include "Piece.h"
#include "TargetedFault.h"

namespace devsim {

// Cuts a text into the pieces a slow or faulty line delivers: --split pieces of nearly equal
// size, --gap apart, the first after `firstDelayMs`; then, for answers, the garbage fault.
// An answer's `later` part (the rest of a slow answer) is cut the same way, the first of its
// pieces `laterMs` after the last of the first part's.
Pieces shapeText(const QByteArray& text, int firstDelayMs, const FaultOptions& options);
Pieces shapeAnswer(const QByteArray& text, FaultPlan& faults, const QByteArray& later = {},
                   int laterMs = 0);

// An answer hit by a targeted fault: the pieces to send now, and those to send --late-ms later.
struct TargetedAnswer {
    Pieces now;
    Pieces late;
};
// `shaped` is the answer `text` as shapeAnswer cut it. A refused command's text is already the
// injected refusal, sent as it is. A cut answer keeps the first piece's pause and sends the
// second half --cut-gap after the first (a one-byte answer: all of it, that much later).
TargetedAnswer shapeTargeted(const QByteArray& text, const Pieces& shaped, FaultKind kind,
                             const FaultOptions& options);

// Every byte replaced by one that forms no token and no line end, the same for the same byte:
// a damaged answer on a byte stream, of its length, in which nothing is recognisable.
QByteArray garbled(const QByteArray& bytes);

} // namespace devsim
