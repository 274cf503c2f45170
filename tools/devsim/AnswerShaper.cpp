#include "AnswerShaper.h"

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

Pieces shapeAnswer(const QByteArray& text, FaultPlan& faults) {
    Pieces pieces = shapeText(text, faults.answerDelayMs(), faults.options());
    const QByteArray garbage = faults.garbageAfterAnswer();
    if (!garbage.isEmpty()) {
        pieces.append(Piece{faults.options().gapMs, garbage});
    }
    return pieces;
}

} // namespace devsim
