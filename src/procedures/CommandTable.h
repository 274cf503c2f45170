#pragma once

#include "core/Answer.h"

#include <QByteArray>
#include <cstdint>

// Every command the loader sends to a controller, one row each: what its answer awaits, what
// refuses it (an error line, judged before anything awaited), what is passed over on the way
// (its echo, blank lines, prompts, banner lines, another command's late answer, and for the
// slow commands a progress line), and what a silence after it means. Only a command whose
// repetition changes nothing at the controller is sent again by the exchange; the others go
// once, and the procedure does what their row says.
namespace CommandTable {

enum class OnSilence {
    SendAgain,     // a setting, a login, a question: asking again changes nothing
    PositionFirst, // a read moved the controller's read position: position, then read again
    RollBack,      // a write may have been stored: roll back to the last confirmed place, log in
    Fail,          // a record, or a step that is done once: the run fails
};

// The row of an interpreter command ("PAGENUM 70", "PAGEWRITE ...", "VER"), by its keyword.
OnSilence onSilence(const QByteArray& command);
// How often the row sends the command while it stays silent.
int attempts(const QByteArray& command);

// An interpreter command as the exchange sends it, with its row's attempts, or `attempts` when
// the caller bounds them itself (a login that repeats until the engineer stops it).
Command interpreter(const QByteArray& command, int attempts = 0);
// "PAGEREAD" returning `characters` characters (two per byte in hex mode).
Command pageRead(qsizetype characters);

// The bootloader: "i" awaits its prompt "BIOS>"; "f" any text but an error, ended by silence,
// so that its rest is never taken for the first record's answer; a record of type 0 to 4 awaits
// "w", "@", ".N" or ".SE" (at once) or a line holding "OK", one of type 5 to 9 a line holding
// "O". A record goes out once, and waits `waitMs` in all.
Command bootloaderEntry();
Command programmingStart();
Command record(const QByteArray& line, std::int32_t waitMs);
// What the acknowledgement of a record of type 0 to 4 holds, as against the end ("OK").
bool acknowledgesRecord(const QByteArray& answer);

} // namespace CommandTable
