#include "AnswerShaper.h"

#include "TokenFreeBytes.h"

namespace devsim {

Pieces shapeText(const QByteArray& text, int firstDelayMs, const FaultOptions& options) {
    Pieces pieces;
    const qsizetype count = std::max<qsizetype>(1, std::min<qsizetype>(options.split, text.size()));
    qsizetype start = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype end = text.size() * (i + 1) / count;
        pieces.append(Piece{i == 0 ? firstDelayMs : options.gapMs, text.mid(start, end - start)});
        start = end;
    }
    return pieces;
}

Pieces shapeAnswer(const QByteArray& text, FaultPlan& faults, const QByteArray& later,
                   int laterMs) {
    Pieces pieces = shapeText(text, faults.answerDelayMs(), faults.options());
    if (!later.isEmpty()) {
        pieces += shapeText(later, laterMs, faults.options());
    }
    const QByteArray garbage = faults.garbageAfterAnswer();
    if (!garbage.isEmpty()) {
        pieces.append(Piece{faults.options().gapMs, garbage});
    }
    return pieces;
}

TargetedAnswer shapeTargeted(const QByteArray& text, const Pieces& shaped, FaultKind kind,
                             const FaultOptions& options) {
    switch (kind) {
    case FaultKind::Lost:
    case FaultKind::Unheard:
        return {};
    case FaultKind::Late:
        return {{}, shaped};
    case FaultKind::Doubled:
        return {shaped + shaped, {}};
    case FaultKind::Cut: {
        const qsizetype half = text.size() / 2;
        const int firstDelayMs = shaped.isEmpty() ? 0 : shaped.front().delayMs;
        return {{Piece{firstDelayMs, text.left(half)}, Piece{options.cutGapMs, text.mid(half)}},
                {}};
    }
    case FaultKind::Damaged: {
        Pieces damaged = shaped;
        for (Piece& piece : damaged) {
            piece.damaged = true;
        }
        return {damaged, {}};
    }
    case FaultKind::Refused:
        break;
    }
    return {shaped, {}};
}

QByteArray garbled(const QByteArray& bytes) {
    const QByteArray& alphabet = tokenFreeBytes();
    QByteArray result(bytes.size(), '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        result[i] = alphabet[std::uint8_t(bytes[i]) % alphabet.size()];
    }
    return result;
}

} // namespace devsim
