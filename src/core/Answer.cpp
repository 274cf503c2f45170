#include "Answer.h"

#include "Cp1251.h"

QString Answer::words() const {
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmedLine = line.trimmed();
        if (!trimmedLine.isEmpty()) {
            return Cp1251::decode(trimmedLine.left(120));
        }
    }
    return QString();
}

Answer::Status Answer::judged(const AnswerExpectation& awaited, const QByteArray& text,
                              AnswerExpectation::Scan& scan) {
    if (text.isEmpty()) {
        return Status::Silent;
    }
    switch (awaited.judge(text, scan)) {
    case AnswerExpectation::Judgement::Whole:
        return Status::Whole;
    case AnswerExpectation::Judgement::Refused:
    case AnswerExpectation::Judgement::Unexpected:
        return Status::Refused;
    case AnswerExpectation::Judgement::Incomplete:
        break;
    }
    return awaited.awaitsSomething() ? Status::Partial : Status::Whole;
}
