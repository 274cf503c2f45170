#include "AnswerExpectation.h"

#include <algorithm>

AnswerExpectation AnswerExpectation::anyText() {
    AnswerExpectation e;
    e.kind_ = Kind::AnyText;
    return e;
}

AnswerExpectation AnswerExpectation::anyOf(QList<QByteArray> tokens) {
    AnswerExpectation e = line(std::move(tokens));
    e.kind_ = Kind::AnyOf;
    return e;
}

AnswerExpectation AnswerExpectation::line(QList<QByteArray> tokens) {
    AnswerExpectation e;
    e.kind_ = Kind::Line;
    for (const QByteArray& token : tokens) {
        e.longestToken_ = std::max(e.longestToken_, token.size());
    }
    e.tokens_ = std::move(tokens);
    return e;
}

AnswerExpectation AnswerExpectation::lineOfLength(qsizetype length) {
    AnswerExpectation e = line();
    e.minLength_ = std::max<qsizetype>(0, length);
    return e;
}

qsizetype AnswerExpectation::findStart(const QByteArray& answer, Scan& scan) const {
    if (tokens_.isEmpty()) {
        for (qsizetype i = scan.searchedTo; i < answer.size(); ++i) {
            if (answer.at(i) != '\r' && answer.at(i) != '\n') {
                return i + 1;
            }
        }
        scan.searchedTo = answer.size();
        return -1;
    }
    // A token may begin in the part already searched and end in the new one.
    const qsizetype from = std::max<qsizetype>(0, scan.searchedTo - longestToken_ + 1);
    qsizetype first = -1;
    for (const QByteArray& token : tokens_) {
        const qsizetype at = answer.indexOf(token, from);
        if (at >= 0 && (first < 0 || at + token.size() < first)) {
            first = at + token.size();
        }
    }
    scan.searchedTo = answer.size();
    return first;
}

bool AnswerExpectation::isCompleteIn(const QByteArray& answer, Scan& scan) const {
    if (answer.size() < scan.size) {
        scan = Scan{};
    }
    scan.size = answer.size();
    switch (kind_) {
    case Kind::Quiet:
        return false;
    case Kind::AnyText:
        return !answer.isEmpty();
    case Kind::AnyOf:
    case Kind::Line:
        break;
    }
    if (scan.start < 0) {
        scan.start = findStart(answer, scan);
        if (scan.start < 0) {
            return false;
        }
        scan.lineSearched = std::max(scan.start, minLength_);
    }
    if (kind_ == Kind::AnyOf) {
        return true;
    }
    const qsizetype lineEnd = answer.indexOf('\n', scan.lineSearched);
    scan.lineSearched = std::max(scan.lineSearched, answer.size());
    return lineEnd >= 0;
}
