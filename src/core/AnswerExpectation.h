#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <cstdint>

// What the whole answer to a command looks like, what refuses it, and what is passed over on the
// way. The exchange still ends an answer by silence; an expectation tells it whether what came is
// the answer (whole: done, in the fast exchange at once), a refusal (an error line, judged before
// any awaited text), text it passes over (the command's echo, blank lines, prompts, the lines of a
// restart banner, another command's late answer, a progress line), or an answer still arriving.
//
// A line ends at CR or LF. A controller that ends no line at all is understood too: at silence
// the line still open is judged as ended. Until the exchange has seen that the controller ends
// no lines, such a line is given a pause of grace first, so that an answer cut in two by a slow
// link is not taken by its first half.
class AnswerExpectation {
public:
    // Unexpected: the answer said something else than what is awaited, and it is not an error
    // line (a setting answered with another value); it is a refusal in other words.
    // Cut: a line the controller did not end and that does not hold what is awaited, quiet for
    // longer than the grace: the rest of the answer was lost.
    enum class Judgement { Incomplete, Whole, Refused, Unexpected, Cut };
    // Where the judgement came from: an ended line, the line still open at silence, or a token
    // that needs no line end. Tells the exchange whether the controller ends its lines.
    enum class DecidedBy { Nothing, EndedLine, OpenLine, BareToken };

    // How far a growing answer has been looked through, so that each reception costs only its
    // own bytes. An answer shorter than last time (emptied, or cut at its front) starts over.
    struct Scan {
        qsizetype size = 0;
        qsizetype lineStart = 0;    // where the line not yet ended starts
        qsizetype lineSearched = 0; // line end sought up to here
        qsizetype tailSearched = 0; // tokens that need no line end sought up to here
        qsizetype ownStart = -1;    // a read: where the data starts, after what is passed over
        Judgement judgement = Judgement::Incomplete; // Whole or Refused: decided for good
        DecidedBy decidedBy = DecidedBy::Nothing;
        bool otherOwnLine = false;    // an ended line said something else than what is awaited
        bool echoHoldsToken = false;  // an ended line was the echo, and holds the awaited text
        bool otherCommand = false;    // an ended line was another command's answer
        std::uint32_t tokensHeld = 0; // with every token awaited: those the ended lines held
    };

    // What the exchange knows of the controller's lines: not yet anything, that it ends them,
    // or that it ends none.
    enum class LineEnds { Unknown, Seen, None };
    // What the exchange knows when an answer has gone quiet.
    struct Silence {
        int silentMs = 0; // since the last reception
        int graceMs = 0;  // the longest pause inside an answer
        LineEnds lineEnds = LineEnds::Unknown;
    };

    // Nothing in particular: the quiet ticks alone end the answer (the terminal's send line).
    AnswerExpectation() = default;

    // Any text at all but an error line: the bootloader's ready answer.
    static AnswerExpectation anyText();
    // Text holding one of the tokens anywhere, with or without a line end (the bootloader's
    // prompt).
    static AnswerExpectation anyOf(QList<QByteArray> tokens);
    // A line holding one of the tokens, or, without tokens, any line of the command's own.
    static AnswerExpectation line(QList<QByteArray> tokens = {});
    // Lines that hold every one of the tokens between them ("OK" and "STR:" of a write's
    // confirmation, on one line or on two).
    static AnswerExpectation linesHoldingAll(QList<QByteArray> tokens);
    // A line holding a version number (a digit, a point, a digit: "3.14", "v4.01").
    static AnswerExpectation lineWithVersion();
    // A read of a known length: at least `length` characters of data before the line end (the
    // data itself may hold line ends), or fewer ended by a line end at silence.
    static AnswerExpectation lineOfLength(qsizetype length);

    // Tokens that make the answer whole the moment they arrive, without a line end (the
    // bootloader's one-character acknowledgements), unless their line is an error line.
    AnswerExpectation& withBareTokens(QList<QByteArray> tokens);
    // The command as sent: a line that repeats it is the controller's echo, passed over (and
    // taken as the answer only when nothing else comes).
    AnswerExpectation& withEcho(const QByteArray& command);
    // Lines that begin with one of these keywords answer another command, as does a line
    // holding one of the marks ("STR:" of a write's confirmation), and, with otherData, a line
    // of data a read returned: they are passed over.
    AnswerExpectation& withOtherCommands(QList<QByteArray> keywords, QList<QByteArray> marks,
                                         bool otherData);
    // A line that says something else is a progress line ("Erasing sector"): the answer is
    // waited for until the command's wait ends, not taken as an unexpected one.
    AnswerExpectation& passingProgressLines();
    // Short answers that a controller may leave without a line end although it ends its other
    // lines (the bootloader's "OK" after its bare "w"): such an open line holding what is awaited
    // is taken once quiet past the grace, never as a cut answer.
    AnswerExpectation& takingUnendedAnswers();

    // Whether the expectation says anything; without one the quiet ticks decide alone.
    bool awaitsSomething() const { return kind_ != Kind::Quiet; }
    // Whole or refused by what has arrived, its ended lines and bare tokens; looks only at what
    // is new since the last look.
    Judgement judge(const QByteArray& answer, Scan& scan) const;
    // What the answer is, now that it has been quiet for a while: the open line taken as
    // ended. Incomplete while the answer is waited for on.
    Judgement atSilence(const QByteArray& answer, Scan& scan, const Silence& silence) const;

private:
    enum class Kind { Quiet, AnyText, AnyOf, Line, Length };
    // What one line is to this command.
    enum class LineKind { PassedOver, Echo, Error, Awaited, Other };

    LineKind classify(QByteArrayView line) const;
    LineKind classifyOwn(QByteArrayView text) const;
    qsizetype ownOffset(QByteArrayView line) const;
    qsizetype echoEnd(QByteArrayView line) const;
    qsizetype echoPrefix(QByteArrayView text) const;
    bool holdsToken(QByteArrayView text) const;
    std::uint32_t tokensIn(QByteArrayView text) const;
    bool holdsAll(std::uint32_t held) const;
    bool echoMayAnswer(QByteArrayView echo) const;
    bool answersAnotherCommand(QByteArrayView text) const;
    Judgement judgeLines(const QByteArray& answer, Scan& scan) const;
    Judgement judgeEndedLine(QByteArrayView line, Scan& scan) const;
    bool bareTokenInOpenLine(const QByteArray& answer, Scan& scan) const;
    Judgement judgeRead(const QByteArray& answer, Scan& scan) const;
    Judgement openLineAtSilence(const QByteArray& answer, Scan& scan, const Silence& silence) const;
    Judgement openLineHolding(const Silence& silence) const;
    Judgement readAtSilence(const QByteArray& answer, Scan& scan, const Silence& silence) const;

    Kind kind_ = Kind::Quiet;
    QList<QByteArray> tokens_;     // whole at the end of a line holding one
    bool allTokens_ = false;       // ... or only once the lines held each of them
    QList<QByteArray> bareTokens_; // whole at once
    qsizetype longestBare_ = 0;
    qsizetype minLength_ = 0;
    QByteArray echo_;
    QList<QByteArray> otherKeywords_;
    QList<QByteArray> otherMarks_;
    bool otherData_ = false;
    bool passProgress_ = false;
    bool takeUnended_ = false;
    bool versionNumber_ = false;
};
