#include "AnswerExpectation.h"

#include <algorithm>

namespace {

bool blankOrLineEnd(char c) {
    return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

// The line from..to without the blanks and line ends around it.
QByteArrayView trimmed(const QByteArray& answer, qsizetype from, qsizetype to) {
    while (from < to && blankOrLineEnd(answer.at(from))) {
        ++from;
    }
    while (to > from && blankOrLineEnd(answer.at(to - 1))) {
        --to;
    }
    return QByteArrayView(answer.constData() + from, to - from);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether the line holds the token. A token that is a number is held only as a whole number:
// the "0" of "PAGEADDR 0" is not in "PAGENUM=70", a late answer to the command before.
bool holds(QByteArrayView line, const QByteArray& token) {
    if (token.isEmpty() || !std::all_of(token.begin(), token.end(), isDigit)) {
        return line.contains(token);
    }
    return AnswerExpectation::holdsNumber(line, token);
}

} // namespace

bool AnswerExpectation::holdsNumber(QByteArrayView text, QByteArrayView digits) {
    for (qsizetype at = text.indexOf(digits); at >= 0; at = text.indexOf(digits, at + 1)) {
        const qsizetype after = at + digits.size();
        if ((at == 0 || !isDigit(text[at - 1])) &&
            (after == text.size() || !isDigit(text[after]))) {
            return true;
        }
    }
    return false;
}

AnswerExpectation AnswerExpectation::anyText() {
    AnswerExpectation e;
    e.kind_ = Kind::AnyText;
    return e;
}

AnswerExpectation AnswerExpectation::anyOf(QList<QByteArray> tokens) {
    AnswerExpectation e;
    e.kind_ = Kind::AnyOf;
    e.withBareTokens(std::move(tokens));
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
    e.kind_ = Kind::Length;
    e.minLength_ = std::max<qsizetype>(0, length);
    return e;
}

AnswerExpectation& AnswerExpectation::withBareTokens(QList<QByteArray> tokens) {
    for (const QByteArray& token : tokens) {
        longestBare_ = std::max(longestBare_, token.size());
    }
    bareTokens_ = std::move(tokens);
    return *this;
}

AnswerExpectation& AnswerExpectation::withEcho(const QByteArray& command) {
    echo_ = QByteArray(trimmed(command, 0, command.size()).toByteArray());
    return *this;
}

AnswerExpectation::Judgement AnswerExpectation::judge(const QByteArray& answer, Scan& scan) const {
    if (answer.size() < scan.size) {
        scan = Scan{};
    }
    scan.size = answer.size();
    if (scan.judgement == Judgement::Whole || scan.judgement == Judgement::Refused) {
        return scan.judgement; // an answer once decided stays decided
    }
    switch (kind_) {
    case Kind::Quiet:
        return Judgement::Incomplete;
    case Kind::AnyText:
        scan.judgement = answer.isEmpty() ? Judgement::Incomplete : Judgement::Whole;
        break;
    case Kind::AnyOf:
        scan.judgement = bareTokenInTail(answer, scan) ? Judgement::Whole : Judgement::Incomplete;
        break;
    case Kind::Line:
        scan.judgement = judgeLines(answer, scan);
        break;
    case Kind::Length:
        scan.judgement = judgeLength(answer, scan);
        break;
    }
    return scan.judgement;
}

// Each line is judged once, when its line end arrives; the line still arriving can only be
// made whole by a token that needs no line end.
AnswerExpectation::Judgement AnswerExpectation::judgeLines(const QByteArray& answer,
                                                           Scan& scan) const {
    for (;;) {
        const qsizetype end = answer.indexOf('\n', std::max(scan.lineSearched, scan.lineStart));
        if (end < 0) {
            break;
        }
        const Judgement line = judgeLine(answer, scan.lineStart, end);
        scan.lineStart = end + 1;
        scan.lineSearched = end + 1;
        if (line == Judgement::Whole || line == Judgement::Refused) {
            return line;
        }
        scan.unexpectedLine = scan.unexpectedLine || line == Judgement::Unexpected;
    }
    scan.lineSearched = answer.size();
    if (bareTokenInTail(answer, scan)) {
        return Judgement::Whole;
    }
    return scan.unexpectedLine ? Judgement::Unexpected : Judgement::Incomplete;
}

AnswerExpectation::Judgement AnswerExpectation::judgeLine(const QByteArray& answer, qsizetype from,
                                                          qsizetype to) const {
    const QByteArrayView text = trimmed(answer, from, to);
    if (text.isEmpty()) {
        return Judgement::Incomplete;
    }
    const auto held = [&text](const QByteArray& token) { return holds(text, token); };
    if ((tokens_.isEmpty() && bareTokens_.isEmpty()) ||
        std::any_of(tokens_.begin(), tokens_.end(), held) ||
        std::any_of(bareTokens_.begin(), bareTokens_.end(), held)) {
        return Judgement::Whole;
    }
    if ((!echo_.isEmpty() && text == QByteArrayView(echo_)) || text.startsWith("UNIT:") ||
        text.startsWith("BIOS:")) {
        return Judgement::Incomplete;
    }
    return text.startsWith("ERR") ? Judgement::Refused : Judgement::Unexpected;
}

bool AnswerExpectation::bareTokenInTail(const QByteArray& answer, Scan& scan) const {
    if (bareTokens_.isEmpty()) {
        return false;
    }
    // A token may begin in the part already searched and end in the new one.
    const qsizetype from = std::max<qsizetype>(0, scan.tailSearched - longestBare_ + 1);
    scan.tailSearched = answer.size();
    return std::any_of(bareTokens_.begin(), bareTokens_.end(),
                       [&](const QByteArray& token) { return answer.indexOf(token, from) >= 0; });
}

// The data may hold line ends: the answer is whole at the first line end after its length.
AnswerExpectation::Judgement AnswerExpectation::judgeLength(const QByteArray& answer,
                                                            Scan& scan) const {
    const qsizetype end = answer.indexOf('\n', std::max(scan.lineSearched, minLength_));
    scan.lineSearched = std::max(scan.lineSearched, answer.size());
    return end >= 0 ? Judgement::Whole : Judgement::Incomplete;
}
