#pragma once

#include "core/AnswerExpectation.h"

#include <QByteArray>

// What the complete answer to each command of the controller looks like, for the exchange to
// tell an answer cut by a pause from a whole one. The procedures judge the answers themselves.
namespace AwaitedAnswers {

// The command interpreter answers every command with a line. "PASSWORD" awaits "granted" or
// "denied", "PAGEWRITE" its "OK", "REPROGRAMM" its "GOOD", each before the line end.
AnswerExpectation interpreter(const QByteArray& command);
// "PAGEREAD" returns `characters` characters (two per byte in hex mode) and the line end.
AnswerExpectation pageRead(qsizetype characters);

// The bootloader: "i" awaits its prompt "BIOS>" or the echo "i"; "f" any text at all.
AnswerExpectation bootloaderEntry();
AnswerExpectation programmingStart();
// A record of type 0 to 4 awaits "w", "@", ".N", ".SE" or "OK"; of type 5 to 9 an "O".
AnswerExpectation record(int recordType);

} // namespace AwaitedAnswers
