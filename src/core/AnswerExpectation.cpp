#include "AnswerExpectation.h"

#include "AnswerLine.h"

#include <algorithm>
#include <cstring>

using AnswerLine::trimmed;

namespace {

// Enough of a line still open to tell whether its first word is an error word.
constexpr qsizetype kFirstWordWindow = 64;

// Where the next line end (CR or LF) is, from `from` on; -1 when none has arrived.
qsizetype nextLineEnd(const QByteArray& answer, qsizetype from) {
    const char* data = answer.constData();
    const qsizetype size = answer.size();
    for (qsizetype at = from; at < size; ++at) {
        if (AnswerLine::isLineEnd(data[at])) {
            return at;
        }
    }
    return -1;
}

QByteArrayView slice(const QByteArray& answer, qsizetype from, qsizetype to) {
    return QByteArrayView(answer.constData() + from, to - from);
}

bool decided(AnswerExpectation::Judgement judgement) {
    return judgement == AnswerExpectation::Judgement::Whole ||
           judgement == AnswerExpectation::Judgement::Refused;
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
    e.withBareTokens(std::move(tokens));
    return e;
}

AnswerExpectation AnswerExpectation::line(QList<QByteArray> tokens) {
    AnswerExpectation e;
    e.kind_ = Kind::Line;
    e.tokens_ = std::move(tokens);
    return e;
}

AnswerExpectation AnswerExpectation::linesHoldingAll(QList<QByteArray> tokens) {
    AnswerExpectation e = line(std::move(tokens));
    e.allTokens_ = true;
    return e;
}

AnswerExpectation AnswerExpectation::lineWithVersion() {
    AnswerExpectation e = line();
    e.versionNumber_ = true;
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
    echo_ = trimmed(command).toByteArray();
    return *this;
}

AnswerExpectation& AnswerExpectation::withOtherCommands(QList<QByteArray> keywords,
                                                        QList<QByteArray> marks, bool otherData) {
    otherKeywords_ = std::move(keywords);
    otherMarks_ = std::move(marks);
    otherData_ = otherData;
    return *this;
}

AnswerExpectation& AnswerExpectation::passingProgressLines() {
    passProgress_ = true;
    return *this;
}

AnswerExpectation& AnswerExpectation::takingUnendedAnswers() {
    takeUnended_ = true;
    return *this;
}

bool AnswerExpectation::holdsToken(QByteArrayView text) const {
    if (versionNumber_ && AnswerLine::holdsVersionNumber(text)) {
        return true;
    }
    const auto held = [text](const QByteArray& token) { return text.contains(token); };
    return std::any_of(tokens_.begin(), tokens_.end(), held) ||
           std::any_of(bareTokens_.begin(), bareTokens_.end(), held);
}

// A controller may answer with the command itself: where nothing else comes, an echo that holds
// what is awaited (any text, for a command that awaits any) is the answer.
// One bit for each token the text holds.
std::uint32_t AnswerExpectation::tokensIn(QByteArrayView text) const {
    std::uint32_t held = 0;
    for (qsizetype i = 0; i < tokens_.size() && i < 32; ++i) {
        if (text.contains(tokens_[i])) {
            held |= 1U << i;
        }
    }
    return held;
}

// Whether what was held is what the answer awaits: one token, or with allTokens_ each of them.
bool AnswerExpectation::holdsAll(std::uint32_t held) const {
    if (!allTokens_) {
        return true;
    }
    const qsizetype count = std::min<qsizetype>(tokens_.size(), 32);
    return held == (count == 32 ? ~0U : (1U << count) - 1);
}

bool AnswerExpectation::echoMayAnswer(QByteArrayView echo) const {
    return kind_ == Kind::AnyText || holdsToken(echo);
}

bool AnswerExpectation::answersAnotherCommand(QByteArrayView text) const {
    const auto opens = [text](const QByteArray& keyword) {
        return AnswerLine::startsWithKeyword(text, keyword);
    };
    const auto holds = [text](const QByteArray& mark) { return text.contains(mark); };
    return std::any_of(otherKeywords_.begin(), otherKeywords_.end(), opens) ||
           std::any_of(otherMarks_.begin(), otherMarks_.end(), holds) ||
           (otherData_ && AnswerLine::isReadData(text));
}

AnswerExpectation::LineKind AnswerExpectation::classify(QByteArrayView line) const {
    const QByteArrayView whole = trimmed(line);
    if (whole.isEmpty()) {
        return LineKind::PassedOver;
    }
    if (kind_ == Kind::AnyText) {
        // Anything at all, a bare prompt included, but the echo and an error line.
        if (whole == QByteArrayView(echo_)) {
            return LineKind::Echo;
        }
        return AnswerLine::isErrorLine(whole) ? LineKind::Error : LineKind::Awaited;
    }
    QByteArrayView text = trimmed(AnswerLine::withoutPrompt(whole));
    if (text.isEmpty()) {
        return LineKind::PassedOver; // a prompt alone
    }
    if (!echo_.isEmpty() && text == QByteArrayView(echo_)) {
        return LineKind::Echo;
    }
    // The echo and the answer on one line (a controller that ends no lines, or one that echoes
    // each character as it comes).
    return classifyOwn(trimmed(text.sliced(echoPrefix(text))));
}

// How much of a line's text is the echo in front of the answer: the command followed by a
// blank, or, for a read, followed by anything (its data never begins with the command).
qsizetype AnswerExpectation::echoPrefix(QByteArrayView text) const {
    if (echo_.isEmpty() || !text.startsWith(echo_) || text.size() <= echo_.size()) {
        return 0;
    }
    return text[echo_.size()] == ' ' || kind_ == Kind::Length ? echo_.size() : 0;
}

// Where the command's own text starts in a line: after blanks, a prompt and the echo.
qsizetype AnswerExpectation::ownOffset(QByteArrayView line) const {
    QByteArrayView text = trimmed(AnswerLine::withoutPrompt(trimmed(line)));
    text = trimmed(text.sliced(echoPrefix(text)));
    return text.isEmpty() ? line.size() : text.constData() - line.constData();
}

AnswerExpectation::LineKind AnswerExpectation::classifyOwn(QByteArrayView text) const {
    if (AnswerLine::isErrorLine(text)) {
        return LineKind::Error;
    }
    if (text.startsWith("UNIT:") || text.startsWith("BIOS:") || answersAnotherCommand(text)) {
        return LineKind::PassedOver;
    }
    if (holdsToken(text)) {
        return LineKind::Awaited;
    }
    const bool anyLine =
        kind_ == Kind::Line && tokens_.isEmpty() && bareTokens_.isEmpty() && !versionNumber_;
    return anyLine ? LineKind::Awaited : LineKind::Other;
}

AnswerExpectation::Judgement AnswerExpectation::judge(const QByteArray& answer, Scan& scan) const {
    if (answer.size() < scan.size) {
        scan = Scan{};
    }
    scan.size = answer.size();
    if (decided(scan.judgement)) {
        return scan.judgement; // an answer once decided stays decided
    }
    switch (kind_) {
    case Kind::Quiet:
        return Judgement::Incomplete;
    case Kind::Length:
        scan.judgement = judgeRead(answer, scan);
        break;
    case Kind::AnyText:
    case Kind::AnyOf:
    case Kind::Line:
        scan.judgement = judgeLines(answer, scan);
        break;
    }
    return scan.judgement;
}

// Each line is judged once, when its line end arrives; the line still open can only be made
// whole by a token that needs no line end.
AnswerExpectation::Judgement AnswerExpectation::judgeLines(const QByteArray& answer,
                                                           Scan& scan) const {
    for (;;) {
        const qsizetype end = nextLineEnd(answer, std::max(scan.lineSearched, scan.lineStart));
        if (end < 0) {
            break;
        }
        const Judgement line = judgeEndedLine(slice(answer, scan.lineStart, end), scan);
        scan.lineStart = end + 1;
        scan.lineSearched = end + 1;
        if (decided(line)) {
            scan.decidedBy = DecidedBy::EndedLine;
            return line;
        }
    }
    scan.lineSearched = answer.size();
    if (bareTokenInOpenLine(answer, scan)) {
        scan.decidedBy = DecidedBy::BareToken;
        return Judgement::Whole;
    }
    return Judgement::Incomplete;
}

AnswerExpectation::Judgement AnswerExpectation::judgeEndedLine(QByteArrayView line,
                                                               Scan& scan) const {
    switch (classify(line)) {
    case LineKind::Error:
        return Judgement::Refused;
    case LineKind::Awaited:
        scan.tokensHeld |= tokensIn(line);
        if (holdsAll(scan.tokensHeld)) {
            return Judgement::Whole;
        }
        break; // a part of the answer; the rest is still to come
    case LineKind::Other:
        scan.otherOwnLine = true;
        break;
    case LineKind::Echo:
        scan.echoHoldsToken = scan.echoHoldsToken || echoMayAnswer(trimmed(line));
        break;
    case LineKind::PassedOver:
        break;
    }
    return Judgement::Incomplete;
}

bool AnswerExpectation::bareTokenInOpenLine(const QByteArray& answer, Scan& scan) const {
    if (bareTokens_.isEmpty() || scan.lineStart >= answer.size()) {
        return false;
    }
    const QByteArrayView open = slice(answer, scan.lineStart, answer.size());
    const QByteArrayView start = trimmed(AnswerLine::withoutPrompt(trimmed(open)));
    const bool mayBeEcho = !echo_.isEmpty() && !start.isEmpty() && echo_.startsWith(start);
    const qsizetype own = ownOffset(open);
    const QByteArrayView ownStart = open.sliced(own, std::min(open.size() - own, kFirstWordWindow));
    if (mayBeEcho || AnswerLine::mayBeErrorLine(ownStart)) {
        // The echo still arriving, or a line that may be an error ("ERR: flash write failed"
        // holds a "w", also behind the echo of a controller that ends no lines): the line is
        // judged when it has ended.
        scan.tailSearched = scan.lineStart;
        return false;
    }
    // Tokens count in the prompt and the answer, not in the echo. One may begin in the part
    // already searched and end in the new one.
    const qsizetype from =
        std::max(scan.lineStart + echoEnd(open), scan.tailSearched - longestBare_ + 1);
    scan.tailSearched = answer.size();
    const QByteArrayView tail = slice(answer, from, answer.size());
    return std::any_of(bareTokens_.begin(), bareTokens_.end(),
                       [tail](const QByteArray& token) { return tail.contains(token); });
}

// Where the echo ends in a line that starts with it, followed by the answer; 0 without one.
qsizetype AnswerExpectation::echoEnd(QByteArrayView line) const {
    const QByteArrayView text = trimmed(AnswerLine::withoutPrompt(trimmed(line)));
    const qsizetype echo = echoPrefix(text);
    return echo == 0 ? 0 : text.constData() - line.constData() + echo;
}

// The data starts after what is passed over (its echo, blank lines, a prompt, another
// command's late answer) and may itself hold line ends: the answer is whole at the first line
// end after its length.
AnswerExpectation::Judgement AnswerExpectation::judgeRead(const QByteArray& answer,
                                                          Scan& scan) const {
    while (scan.ownStart < 0) {
        const qsizetype end = nextLineEnd(answer, scan.lineStart);
        if (end < 0) {
            return Judgement::Incomplete;
        }
        const LineKind kind = classify(slice(answer, scan.lineStart, end));
        if (kind == LineKind::Error) {
            scan.decidedBy = DecidedBy::EndedLine;
            return Judgement::Refused;
        }
        if (kind == LineKind::PassedOver || kind == LineKind::Echo) {
            scan.otherCommand =
                scan.otherCommand || answersAnotherCommand(trimmed(AnswerLine::withoutPrompt(
                                         trimmed(slice(answer, scan.lineStart, end)))));
            scan.lineStart = end + 1;
            continue;
        }
        scan.ownStart = scan.lineStart + ownOffset(slice(answer, scan.lineStart, end));
    }
    const qsizetype end =
        nextLineEnd(answer, std::max(scan.lineSearched, scan.ownStart + minLength_));
    scan.lineSearched = std::max(scan.lineSearched, answer.size());
    if (end < 0) {
        return Judgement::Incomplete;
    }
    scan.decidedBy = DecidedBy::EndedLine;
    return Judgement::Whole;
}

AnswerExpectation::Judgement AnswerExpectation::atSilence(const QByteArray& answer, Scan& scan,
                                                          const Silence& silence) const {
    const Judgement judged = judge(answer, scan);
    if (judged != Judgement::Incomplete || kind_ == Kind::Quiet) {
        return judged;
    }
    const Judgement quiet = kind_ == Kind::Length ? readAtSilence(answer, scan, silence)
                                                  : openLineAtSilence(answer, scan, silence);
    if (decided(quiet)) {
        if (scan.decidedBy == DecidedBy::Nothing) {
            scan.decidedBy = DecidedBy::OpenLine;
        }
        scan.judgement = quiet;
    }
    return quiet;
}

// The open line taken as ended. What it awaits, from a controller that ends its lines, may be
// the first half of a cut answer: it counts once the grace has passed. Text that says something
// else counts as unexpected after the grace, unless the command passes progress lines; an echo
// holding what the command awaits is its answer when nothing else came.
AnswerExpectation::Judgement AnswerExpectation::openLineAtSilence(const QByteArray& answer,
                                                                  Scan& scan,
                                                                  const Silence& silence) const {
    const bool graceOver = silence.silentMs >= silence.graceMs;
    const QByteArrayView open = slice(answer, scan.lineStart, answer.size());
    const LineKind kind = classify(open);
    if (kind == LineKind::Error) {
        return Judgement::Refused;
    }
    if (kind == LineKind::Awaited && holdsAll(scan.tokensHeld | tokensIn(open))) {
        return openLineHolding(silence);
    }
    if (kind == LineKind::Awaited || scan.tokensHeld != 0) {
        // A part of what is awaited: the rest may still come, until the wait ends.
        return passProgress_ || !graceOver ? Judgement::Incomplete : Judgement::Cut;
    }
    if (scan.otherOwnLine || (kind == LineKind::Other && silence.lineEnds == LineEnds::None)) {
        // A line that said something else.
        return passProgress_ || !graceOver ? Judgement::Incomplete : Judgement::Unexpected;
    }
    if (kind == LineKind::Other) {
        // Said something else, or only the start of what is awaited.
        return passProgress_ || !graceOver ? Judgement::Incomplete : Judgement::Cut;
    }
    if (scan.echoHoldsToken && graceOver) {
        scan.decidedBy = DecidedBy::EndedLine; // the echo's line was ended
        return Judgement::Whole;
    }
    const bool echoAnswers = kind == LineKind::Echo && echoMayAnswer(trimmed(open));
    return echoAnswers && graceOver ? Judgement::Whole : Judgement::Incomplete;
}

// A line not ended that holds what is awaited: the answer of a controller that ends no lines,
// whole at its silence; from a controller not heard yet, whole once quiet past the grace (its
// manner is learnt from it); from one that has been seen to end its lines, the first part of an
// answer cut on the way, unless the command's short answer may come unended.
AnswerExpectation::Judgement AnswerExpectation::openLineHolding(const Silence& silence) const {
    if (silence.lineEnds == LineEnds::None) {
        return Judgement::Whole;
    }
    if (silence.silentMs < silence.graceMs) {
        return Judgement::Incomplete;
    }
    return silence.lineEnds == LineEnds::Unknown || takeUnended_ ? Judgement::Whole
                                                                 : Judgement::Cut;
}

AnswerExpectation::Judgement AnswerExpectation::readAtSilence(const QByteArray& answer, Scan& scan,
                                                              const Silence& silence) const {
    const bool graceOver = silence.silentMs >= silence.graceMs;
    if (scan.ownStart >= 0) {
        // Fewer characters than asked for, ended by a line end (a prompt may follow it): the
        // text's end was read.
        qsizetype lastEnd = answer.size() - 1;
        while (lastEnd >= scan.ownStart && !AnswerLine::isLineEnd(answer[lastEnd])) {
            --lastEnd;
        }
        if (lastEnd >= scan.ownStart &&
            classify(slice(answer, lastEnd + 1, answer.size())) == LineKind::PassedOver) {
            return Judgement::Whole;
        }
    } else {
        const QByteArrayView open = slice(answer, scan.lineStart, answer.size());
        const LineKind kind = classify(open);
        if (kind == LineKind::Error) {
            return Judgement::Refused;
        }
        if (kind == LineKind::PassedOver || kind == LineKind::Echo) {
            // Only blank lines, a prompt or the echo, ended: the read returned nothing (the
            // text's end). Another command's late line is no answer of the read.
            const bool empty = scan.lineStart > 0 && !scan.otherCommand &&
                               trimmed(AnswerLine::withoutPrompt(trimmed(open))).isEmpty();
            return empty && graceOver ? Judgement::Whole : Judgement::Incomplete;
        }
        scan.ownStart = scan.lineStart + ownOffset(open);
    }
    return openLineHolding(silence);
}
