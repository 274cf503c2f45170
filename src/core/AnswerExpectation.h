#pragma once

#include <QByteArray>
#include <QList>

// What the complete answer to a command looks like. The exchange still ends an answer by its
// quiet ticks; an expectation lets it tell an answer cut by a pause on a gappy link (wait a
// little more) from one that is whole (done, and in the fast exchange done at once). It says
// nothing about whether the answer is good: the procedures judge that as before.
class AnswerExpectation {
public:
    // How far a growing answer has been looked through, so that each reception costs only its
    // own bytes: a peer that sends megabytes in small pieces is not searched from the start
    // every time. An answer shorter than last time (emptied, or cut at its front) starts over.
    struct Scan {
        qsizetype size = 0;         // the answer's size at the last look
        qsizetype searchedTo = 0;   // tokens (or text) sought up to here
        qsizetype start = -1;       // where the awaited token (or text) ends; -1: not yet
        qsizetype lineSearched = 0; // line end sought up to here
    };

    // Nothing in particular: the quiet ticks alone end the answer (the terminal's send line).
    AnswerExpectation() = default;

    // Any text at all.
    static AnswerExpectation anyText();
    // Text holding one of the tokens anywhere (the bootloader's acknowledgements).
    static AnswerExpectation anyOf(QList<QByteArray> tokens);
    // A line of the command interpreter: text ended by LF; with tokens, one of them must come
    // before that line end.
    static AnswerExpectation line(QList<QByteArray> tokens = {});
    // A read of a known length: at least `length` characters before the line end (the data
    // itself may hold line ends).
    static AnswerExpectation lineOfLength(qsizetype length);

    // Whether the expectation says anything; without one the quiet ticks decide alone.
    bool awaitsSomething() const { return kind_ != Kind::Quiet; }
    // Whether the answer received so far is whole by this expectation.
    bool isCompleteIn(const QByteArray& answer) const {
        Scan fresh;
        return isCompleteIn(answer, fresh);
    }
    // The same for an answer that grows between looks, looking only at what is new.
    bool isCompleteIn(const QByteArray& answer, Scan& scan) const;

private:
    enum class Kind { Quiet, AnyText, AnyOf, Line };

    // Where the awaited token, or for a plain line the first character that is not a line
    // end, ends; sought from scan.searchedTo on. -1 while there is none.
    qsizetype findStart(const QByteArray& answer, Scan& scan) const;

    Kind kind_ = Kind::Quiet;
    QList<QByteArray> tokens_;
    qsizetype longestToken_ = 0;
    qsizetype minLength_ = 0;
};
