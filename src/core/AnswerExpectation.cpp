#include "AnswerExpectation.h"

#include <algorithm>

namespace {

// Where the first character that is not a line end stands, plus one; -1 when there is none.
qsizetype endOfFirstText(const QByteArray& answer) {
    for (qsizetype i = 0; i < answer.size(); ++i) {
        if (answer.at(i) != '\r' && answer.at(i) != '\n') {
            return i + 1;
        }
    }
    return -1;
}

} // namespace

AnswerExpectation AnswerExpectation::anyText() {
    AnswerExpectation e;
    e.kind_ = Kind::AnyText;
    return e;
}

AnswerExpectation AnswerExpectation::anyOf(QList<QByteArray> tokens) {
    AnswerExpectation e;
    e.kind_ = Kind::AnyOf;
    e.tokens_ = std::move(tokens);
    return e;
}

AnswerExpectation AnswerExpectation::line(QList<QByteArray> tokens) {
    AnswerExpectation e;
    e.kind_ = Kind::Line;
    e.tokens_ = std::move(tokens);
    return e;
}

AnswerExpectation AnswerExpectation::lineOfLength(qsizetype length) {
    AnswerExpectation e;
    e.kind_ = Kind::Line;
    e.minLength_ = std::max<qsizetype>(0, length);
    return e;
}

qsizetype AnswerExpectation::endOfFirstToken(const QByteArray& answer) const {
    qsizetype first = -1;
    for (const QByteArray& token : tokens_) {
        const qsizetype at = answer.indexOf(token);
        if (at >= 0 && (first < 0 || at + token.size() < first)) {
            first = at + token.size();
        }
    }
    return first;
}

bool AnswerExpectation::isCompleteIn(const QByteArray& answer) const {
    switch (kind_) {
    case Kind::Quiet:
        return false;
    case Kind::AnyText:
        return !answer.isEmpty();
    case Kind::AnyOf:
        return endOfFirstToken(answer) >= 0;
    case Kind::Line:
        break;
    }
    const qsizetype start = tokens_.isEmpty() ? endOfFirstText(answer) : endOfFirstToken(answer);
    return start >= 0 && answer.indexOf('\n', std::max(start, minLength_)) >= 0;
}
