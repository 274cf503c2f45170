#pragma once

#include "AnswerExpectation.h"

#include <QByteArray>
#include <cstdint>

// One command for the exchange: the text as it goes out (no line end added), what its whole
// answer looks like, how often it is sent while nothing at all comes back, and how long each
// attempt waits (negative: the loader's answer wait).
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
        Refused,   // a line ended without any of the awaited texts: the device said no
        Partial,   // text came, but not the whole answer, and the pauses ran out
        Silent,    // nothing came in any attempt
        Damaged,   // a broker frame of the answer failed its CRC: nothing in it is believed
        Cancelled, // the user stopped the operation
        LinkLost,  // the connection went (or the program is closing)
    };

    Status status = Status::Silent;
    QByteArray text; // what arrived in the last attempt, as it came

    bool whole() const { return status == Status::Whole; }
    bool refused() const { return status == Status::Refused; }
    // Something came back that can be read: whole, refused, or partial.
    bool heard() const {
        return status == Status::Whole || status == Status::Refused || status == Status::Partial;
    }
    // The device's own words, for a message: the answer's first line that is not blank.
    QString words() const;

    // What undamaged text that came for a command awaiting `awaited` is, once the answer's
    // pauses ran out: nothing is silence, a line ended without the awaited text a refusal.
    static Status judged(const AnswerExpectation& awaited, const QByteArray& text,
                         AnswerExpectation::Scan& scan);
};
