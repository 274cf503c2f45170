#pragma once

#include <cstdint>
#include <functional>

// The shell front end's calls into the operating system, in one place: terminals and the
// signals that stop a run. On a system without them (Windows) each call
// falls back to the nearest thing there is, so the rest of velkor-cli needs no edits.
namespace ShellPlatform {

bool stdinIsTerminal();
bool stderrIsTerminal();
// The width of the terminal on standard error; 80 when it cannot be told.
int terminalColumns();
// Its height in lines; 24 when it cannot be told.
int terminalRows();

// Turns echo of standard input off while it lives (a password typed on the terminal).
class EchoOff {
public:
    EchoOff();
    ~EchoOff();
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    bool restore_ = false;
    unsigned char saved_[128] = {};
};

// The signals that end a run the way Ctrl-C does: SIGINT, SIGTERM and SIGHUP. Catching them
// only notes which came; the run's own loop takes the note and cancels. Past `allowed` signals
// of the same kind (one for a run, two for a fleet, whose first signal drains) the next ends
// the program at once, with the terminal's echo given back. On a fleet member's thread the
// process's signals are the fleet's: catching and releasing do nothing there, and the member
// takes the stop the fleet passed on to it. A closed pipe on standard output or error is
// ignored, so a run whose terminal went away still writes its journal entry.
void catchStopSignals(int allowed = 1);
void releaseStopSignals();
// The stop signal that came since the last call, 0 when none.
int takeStopSignal();
// The first stop signal the process caught, also once taken; 0 when none came.
int stopReceived();
// How many stop signals of any kind were caught since they were last caught anew.
int stopsCaught();
// The exit code of a run ended by the signal: 128 + its number (130, 143, 129).
int exitCodeForSignal(int signal);
// "SIGTERM" and the like, for messages.
const char* signalName(int signal);

// A FIFO held open for writing while a run lasts. Opening waits for a process to read it
// without blocking, so a stop signal still ends the wait; held, it keeps a reader that came
// from seeing the end of the data before the run writes it.
class FifoHold {
public:
    FifoHold() = default;
    ~FifoHold();
    FifoHold(const FifoHold&) = delete;
    FifoHold& operator=(const FifoHold&) = delete;

    // Nothing for a path that is no FIFO. Calls onNoReader once when no process reads it yet.
    // Returns the stop signal that ended the wait, 0 when a reader came (or it is no FIFO).
    int open(const char* path, const std::function<void()>& onNoReader);

private:
    int fd_ = -1;
};

} // namespace ShellPlatform
