#pragma once

#include "Dialect.h"
#include "Reply.h"

#include <QByteArray>

namespace devsim {

// All the controller sends for one command, in its dialect: the echo of the command, the
// progress line of a slow answer, the answer itself and the prompt after it.
struct SpokenAnswer {
    QByteArray now;   // goes out as an answer does
    QByteArray later; // the rest of a slow answer, dialect.progressMs after `now`

    bool isEmpty() const { return now.isEmpty() && later.isEmpty(); }
    QByteArray whole() const { return now + later; }
};

// command is what the controller received, without its line end; a reply without text is
// answered with nothing at all.
SpokenAnswer speak(const Dialect& dialect, const QByteArray& command, const Reply& reply);

} // namespace devsim
