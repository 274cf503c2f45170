#pragma once

#include "assembly/LoaderAssembly.h"
#include "cli/CliDialogs.h"
#include "cli/CliQuestions.h"
#include "cli/CommonOptions.h"
#include "cli/ProgressDisplay.h"
#include "cli/ShellRuntime.h"
#include "core/StoppableIo.h"

#include <QTimer>
#include <optional>

class FleetChannel;

// One loader for a subcommand that talks to a controller: the real runtime, the shell's
// dialogs, the real connections and the shared data folder, set up from the common options.
// Progress and status messages (panel 3) go to standard error unless quiet (ProgressDisplay).
// Ctrl-C, SIGTERM and SIGHUP do what the cancel button does: while an operation runs they
// cancel it, also while the thread waits on a file or stream outside the event loop; a second
// signal of the same kind ends the program. On a fleet member the fleet passes its stops on: a
// signal cancels as above; a drain lets the run end on its own, except a store, which stops
// at its next confirmed piece (the text it still has to send; its descriptor, check and
// finalisation go on); a deadline cancels the run.
class CliSession {
public:
    CliSession(const CommonOptions& options, bool quiet);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // Closes the connection the operation left open.
    void endOperation();
    // A stop signal (Ctrl-C, SIGTERM, SIGHUP) came, or the fleet's deadline for the run passed.
    bool interrupted() const { return stopSignal_ != 0 || expired_; }
    // The exit code of a run the signal stopped: 130, 143 or 129; 75 past its deadline.
    int interruptedExitCode() const;
    // The fleet drains after this signal: the member starts nothing new; 0 while it does not.
    int drainSignal() const { return drainSignal_; }
    // The signal that stopped the run; 0 when none did.
    int stopSignal() const { return stopSignal_; }
    // While an operation runs and the connection drops, the current answer wait ends at once
    // (as a click on the wait bar ends it) instead of running to its time-out.
    void setEndWaitOnDisconnect(bool on) { endWaitOnDisconnect_ = on; }

    ShellRuntime runtime;
    CliDialogs dialogs;
    CliQuestions questions;
    LoaderAssembly parts;
    Loader& loader = parts.loader;
    Connections& links = parts.connections;
    Procedures& procedures = parts.procedures;
    const LinkSettings link; // where the options say the controller is reached
    QString firmwareHeader;  // the header of the firmware file chosen and checked last

private:
    ProgressDisplay progress_;
    void poll();
    void pollSoon();
    void endWaitIfDisconnected();
    void wakeOnStop(FleetChannel& channel);
    void takeFleetStops(FleetChannel& channel);
    void stopStoreIfDraining(const ProgressEvent& progress);
    void cancelFor(int signal);
    void applyWaitsFromEnvironment();

    FleetChannel* const channel_; // the fleet member's, else null
    QTimer poller_;
    int stopSignal_ = 0;
    int drainSignal_ = 0;
    bool expired_ = false;
    bool storeTextSent_ = false; // a store confirmed its last piece: a drain lets it finish
    bool endWaitOnDisconnect_ = false;
    // A file or stream read or written outside the event loop (a FIFO, a pipe, the terminal)
    // takes the stop signal as the loop would: the operation is cancelled, the wait ends. A
    // fleet member's check is its channel's, current whenever the member runs.
    std::optional<StoppableIo::StopCheckScope> stopCheck_;
};
