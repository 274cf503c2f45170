#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// What the complete answer to a command looks like, and what a refusal looks like. The exchange
// still ends an answer by its quiet ticks; an expectation lets it tell an answer cut by a pause
// on a gappy link (wait a little more) from one that is whole (done, and in the fast exchange
// done at once), and both from a refusal: a line that the device ended without any of the
// awaited texts in it ("ERR SUM", "ERR: bad argument").
class AnswerExpectation {
public:
    // Unexpected: a line ended without the awaited text, but it is not an error line; the answer
    // may still come behind it (a late answer to an abandoned command went first). It counts
    // as a refusal only once the answer's pauses have run out.
    enum class Judgement { Incomplete, Whole, Refused, Unexpected };

    // How far a growing answer has been looked through, so that each reception costs only its
    // own bytes: a peer that sends megabytes in small pieces is not searched from the start
    // every time. An answer shorter than last time (emptied, or cut at its front) starts over.
    struct Scan {
        qsizetype size = 0;         // the answer's size at the last look
        qsizetype lineStart = 0;    // where the line not yet ended starts
        qsizetype lineSearched = 0; // line end sought up to here
        qsizetype tailSearched = 0; // tokens that need no line end sought up to here
        Judgement judgement = Judgement::Incomplete; // Whole or Refused: decided for good
        bool unexpectedLine = false;
    };

    // Nothing in particular: the quiet ticks alone end the answer (the terminal's send line).
    AnswerExpectation() = default;

    // Any text at all.
    static AnswerExpectation anyText();
    // Text holding one of the tokens anywhere, with or without a line end (the bootloader's
    // prompt); never a refusal.
    static AnswerExpectation anyOf(QList<QByteArray> tokens);
    // A line of text ended by LF. With tokens, the answer is whole once a line holding one of
    // them has ended (the echo of a setting holding its value is its answer), and refused once
    // an error line ("ERR ...") has ended. Blank lines, the bare echo of the command and the
    // lines of a restart banner ("UNIT:", "BIOS:") are passed over; any other line without a
    // token is unexpected. Without tokens, any line that is not blank makes it whole.
    static AnswerExpectation line(QList<QByteArray> tokens = {});
    // A read of a known length: at least `length` characters before the line end (the data
    // itself may hold line ends).
    static AnswerExpectation lineOfLength(qsizetype length);

    // Tokens that make the answer whole the moment they arrive, without a line end (the
    // bootloader's one-character acknowledgements); a line holding one is whole too.
    AnswerExpectation& withBareTokens(QList<QByteArray> tokens);
    // The command as sent: a line that repeats it is the device's echo, not its answer.
    AnswerExpectation& withEcho(const QByteArray& command);

    // Whether the expectation says anything; without one the quiet ticks decide alone.
    bool awaitsSomething() const { return kind_ != Kind::Quiet; }
    // Whether the answer received so far is whole by this expectation.
    bool isCompleteIn(const QByteArray& answer) const {
        Scan fresh;
        return judge(answer, fresh) == Judgement::Whole;
    }
    bool isCompleteIn(const QByteArray& answer, Scan& scan) const {
        return judge(answer, scan) == Judgement::Whole;
    }
    // Whole, refused, or not decided yet; looks only at what is new since the last look.
    Judgement judge(const QByteArray& answer, Scan& scan) const;

    // Whether the text holds the decimal digits as a number of its own: no digit right before
    // or after them, so "70" is not found in "170" nor "0" in "PAGENUM=70".
    static bool holdsNumber(QByteArrayView text, QByteArrayView digits);

private:
    enum class Kind { Quiet, AnyText, AnyOf, Line, Length };

    Judgement judgeLines(const QByteArray& answer, Scan& scan) const;
    Judgement judgeLine(const QByteArray& answer, qsizetype from, qsizetype to) const;
    bool bareTokenInTail(const QByteArray& answer, Scan& scan) const;
    Judgement judgeLength(const QByteArray& answer, Scan& scan) const;

    Kind kind_ = Kind::Quiet;
    QList<QByteArray> tokens_;     // whole at the end of a line holding one
    QList<QByteArray> bareTokens_; // whole at once
    qsizetype longestBare_ = 0;
    qsizetype minLength_ = 0;
    QByteArray echo_;
};
