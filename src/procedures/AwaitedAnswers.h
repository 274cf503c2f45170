#pragma once

#include "core/AnswerExpectation.h"

#include <QByteArray>

// What the complete answer to each command of the controller looks like, for the exchange to
// tell an answer cut by a pause from a whole one. The procedures judge the answers themselves.
namespace AwaitedAnswers {

// The command interpreter answers every command with a line, and each command awaits in it what
// the procedures look for, before the line end: "PASSWORD" "granted" or "denied", "PAGEWRITE"
// its "OK", "REPROGRAMM" its "GOOD", "VER" the "3." of the version, and a setting such as
// "PAGENUM 70" its argument back. Other lines (the accompanying-initialisation commands) await a
// line of any text. An answer holding what is looked for is decided, so ending its wait early
// cannot change how it is judged; one that lacks it is waited for until its grace ends.
AnswerExpectation interpreter(const QByteArray& command);
// "PAGEREAD" returns `characters` characters (two per byte in hex mode) and the line end.
AnswerExpectation pageRead(qsizetype characters);

// The bootloader: "i" awaits its prompt "BIOS>" (an "i" alone may be the restart banner's
// "i - loader" still arriving; the procedure takes it after the grace, as before); "f" a line
// of any text, whole only at its line end, so that its rest is not taken for the answer to the
// first record.
AnswerExpectation bootloaderEntry();
AnswerExpectation programmingStart();
// A record of type 0 to 4 awaits "w", "@", ".N" or ".SE" (whole at once), or a line holding
// "OK" (whole at its line end: an "OK" followed by "w" is an acknowledgement); of type 5 to 9 a
// line holding "O". A line ended without any of them is the bootloader's refusal ("ERR SUM").
AnswerExpectation record(int recordType, const QByteArray& line);

} // namespace AwaitedAnswers
