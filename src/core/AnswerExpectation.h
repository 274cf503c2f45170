#pragma once

#include <QByteArray>
#include <QList>

// What the complete answer to a command looks like. The exchange still ends an answer by its
// quiet ticks; an expectation lets it tell an answer cut by a pause on a gappy link (wait a
// little more) from one that is whole (done, and in the fast exchange done at once). It says
// nothing about whether the answer is good: the procedures judge that as before.
class AnswerExpectation {
public:
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
    bool isCompleteIn(const QByteArray& answer) const;

private:
    enum class Kind { Quiet, AnyText, AnyOf, Line };

    // Where the first of the tokens ends in the answer; -1 when none occurs.
    qsizetype endOfFirstToken(const QByteArray& answer) const;

    Kind kind_ = Kind::Quiet;
    QList<QByteArray> tokens_;
    qsizetype minLength_ = 0;
};
