#pragma once

#include "AnswerExpectation.h"

#include <QByteArray>
#include <cstdint>

// One command for the exchange: the text as it goes out (no line end added), what its whole
// answer looks like, how often it is sent while nothing at all comes back (1 for a command whose
// repetition would change something at the controller: a read, a write, a record), and how long
// each attempt waits (negative: the loader's answer wait). An empty text sends nothing: the
// exchange only listens.
struct Command {
    QByteArray text;
    AnswerExpectation awaited;
    int attempts = 1;
    std::int32_t waitMs = -1;
};

// What came back for one command, judged by what the command awaited.
struct Answer {
    enum class Status {
        Whole,     // whole by its expectation
        Refused,   // an error line, or a line that said something else: the device said no
        Partial,   // text came, but not the whole answer, and the pauses ran out
        Silent,    // nothing came in any attempt
        Damaged,   // a broker frame of the answer failed its CRC: nothing in it is believed
        Cancelled, // the user stopped the operation
        LinkLost,  // the connection went (or the program is closing)
    };

    Status status = Status::Silent;
    QByteArray text;        // what arrived in the last attempt, as it came
    QByteArray sent;        // the command it answers; empty when the exchange only listened
    bool errorLine = false; // refused by an error line ("ERR ..."), not by other words
    int sends = 0;          // how often the command went out for it
    qsizetype dataFrom = 0; // a read: where its data starts, after its echo or a prompt

    bool whole() const { return status == Status::Whole; }
    bool refused() const { return status == Status::Refused; }
    // The user stopped the operation, or the connection went: nothing more can be asked.
    bool stopped() const { return status == Status::Cancelled || status == Status::LinkLost; }
    // Something came back that can be read: whole, refused, or partial.
    bool heard() const {
        return status == Status::Whole || status == Status::Refused || status == Status::Partial;
    }
    // The device's own words, for a message: the answer's first line that is neither blank, a
    // prompt nor the echo of the command.
    QString words() const;

    // What undamaged text that came for a command awaiting `awaited` is, once the answer has
    // been quiet as `silence` says: nothing is silence, text the expectation has not decided is
    // partial.
    static Status judged(const AnswerExpectation& awaited, const QByteArray& text,
                         AnswerExpectation::Scan& scan, const AnswerExpectation::Silence& silence);
};
