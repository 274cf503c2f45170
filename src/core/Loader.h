#pragma once

#include "Dialogs.h"
#include "Exchange.h"
#include "Journal.h"
#include "LoaderChoices.h"
#include "LoaderOutput.h"
#include "LoaderState.h"
#include "OperationDriver.h"
#include "Progress.h"
#include "ReceiveRouter.h"
#include "Runtime.h"
#include "TerminalModel.h"
#include "Timings.h"

#include <QString>
#include <functional>
#include <memory>

class Links;

// One loader: its state, the engineer's choices, its two timers and the parts of the logic that
// work on them. The application, the shell front end and the tests each make one and plug in
// their runtime, their dialogs and their connection steps; what it shows goes out through its
// output, and no front end's controls are in here.
class Loader {
public:
    Loader(Runtime& runtime, Dialogs& dialogs, QString dataDir);
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    Runtime& runtime;
    Dialogs& dialogs;
    LoaderState state;
    LoaderChoices choices;
    TerminalModel terminal;
    // The firmware file dialog: its folder and filter stay from one choice to the next.
    FileDialogState fileDialog;
    Timings timings;
    Links* links = nullptr;

    // Timer3 (100 ms): the terminal flush; enabled means the connection is alive.
    std::unique_ptr<Timer> Timer3;
    // WaitAnswerTimer (10 ms): counts QuietTicks down.
    std::unique_ptr<Timer> WaitAnswerTimer;

    LoaderOutput output;
    Exchange exchange;
    OperationDriver driver;
    ReceiveRouter router;
    Journal journal;

    // The folder of the settings, the journal and the logs.
    const QString& dataDir() const { return dataDir_; }
    LinkKind connectionKind() const { return choices.link.kind; }

    // Why a running operation cannot go on: the user cancelled (OperationActive cleared), or the
    // link is gone (Timer3 stopped) or the application is quitting.
    // A broker that has no controller with the id ends the operation as a cancel would, but
    // for a reason of its own.
    enum class Stop { None, Cancelled, LinkLost, NotFound };
    Stop stopReason() const;
    // What every procedure loop tests at each pass.
    bool operationCanGoOn() const { return stopReason() == Stop::None; }

    // Writes a status-bar panel (0 progress counter, 2 connection state, 3 messages).
    void setStatus(int panel, const QString& text);
    // Where the running operation is (status panel 3 and the phase observer).
    void showPhase(const PhaseEvent& phase) { output.showPhase(phase); }
    // Shows how far the operation has got: "DONE:TOTAL" in status panel 0, and the event to
    // the front end's observer.
    void showProgress(const ProgressEvent& progress);
    // Adds one line to the terminal window's view.
    void addTerminalLine(const QByteArray& line);
    void setAnswerTimeout(std::int32_t ms) { state.AnswerTimeoutMs = ms; }
    void setAnswerGap(std::int32_t ms) { state.AnswerGapMs = ms; }

    // Observers for front ends that show the status or the exchange as they happen.
    std::function<void(int panel, const QString& text)>& onStatus = output.onStatus;
    std::function<void(const QByteArray& line)>& onTerminalLine = output.onTerminalLine;
    std::function<void(const ProgressEvent& progress)>& onProgress = output.onProgress;

private:
    QString dataDir_;
};
