#include "Answer.h"

#include "AnswerLine.h"
#include "Cp1251.h"

#include <algorithm>

QString Answer::words() const {
    if (errorLine) {
        // The error line itself, wherever it stands.
        for (const QByteArray& line : text.split('\n')) {
            for (const QByteArray& part : line.split('\r')) {
                if (AnswerLine::isErrorLine(part)) {
                    return Cp1251::decode(
                        AnswerLine::trimmed(part)
                            .first(std::min<qsizetype>(AnswerLine::trimmed(part).size(), 120))
                            .toByteArray());
                }
            }
        }
    }
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && !AnswerLine::isLineEnd(text.at(end))) {
            ++end;
        }
        const QByteArrayView line = AnswerLine::trimmed(AnswerLine::withoutPrompt(
            AnswerLine::trimmed(QByteArrayView(text).sliced(start, end - start))));
        if (!line.isEmpty() && line != AnswerLine::trimmed(sent)) {
            return Cp1251::decode(line.first(std::min<qsizetype>(line.size(), 120)).toByteArray());
        }
        start = end + 1;
    }
    return QString();
}

Answer::Status Answer::judged(const AnswerExpectation& awaited, const QByteArray& text,
                              AnswerExpectation::Scan& scan,
                              const AnswerExpectation::Silence& silence) {
    if (text.isEmpty()) {
        return Status::Silent;
    }
    if (!awaited.awaitsSomething()) {
        return Status::Whole;
    }
    switch (awaited.atSilence(text, scan, silence)) {
    case AnswerExpectation::Judgement::Whole:
        return Status::Whole;
    case AnswerExpectation::Judgement::Refused:
    case AnswerExpectation::Judgement::Unexpected:
        return Status::Refused;
    case AnswerExpectation::Judgement::Incomplete:
    case AnswerExpectation::Judgement::Cut:
        break;
    }
    return Status::Partial;
}
