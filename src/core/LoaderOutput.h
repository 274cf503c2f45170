#pragma once

#include "BarState.h"
#include "Phase.h"
#include "Progress.h"
#include "TerminalModel.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// A message the user must see before going on: the window shows a box, the shell prints it.
struct Notice {
    enum class Kind { Error, Information };
    Kind kind = Kind::Error;
    QString text;
    QString caption;
};

// The events of a running operation and where they go: the status panels, the progress counter
// and bar, the terminal's lines, the controller's device type, the confirmed position of a
// storage upload, notices and a missing controller. Procedures and links report here and
// touch no control. What is shown now (the panels, the bars, the device type, the firmware
// group's caption, the terminal) stays here for a front end to draw; what changes a front end's
// own controls (an operation running, a link open, the header read from the file) goes to its
// observers.
class LoaderOutput {
public:
    explicit LoaderOutput(TerminalModel& terminal);

    // Writes a status-bar panel (0 progress counter, 2 connection state, 3 messages).
    void setStatus(int panel, const QString& text);
    // Where the running operation is: its words in status panel 3, the event to the observer.
    void showPhase(const PhaseEvent& phase);
    // "DONE:TOTAL" in status panel 0, the share and time left on the bar, the event to the
    // observer.
    void showProgress(const ProgressEvent& progress);
    // An operation starts: the counter is "0:0" and the bar empty and silent, whatever the last
    // one left.
    void clearProgress();
    // The operation is over, however it ended: nothing is left to wait for, so the bar keeps
    // how far it got without a time left.
    void endProgress();
    // Adds one line to the terminal window's view.
    void addTerminalLine(const QByteArray& line);
    // The bar's scale at the start of a run (records, or thousands of characters), and how far
    // along it the run is.
    void startProgressBar(int maximum);
    void moveProgressBar(int position);
    // The device type the controller reported in its restart banner.
    void showDeviceType(const QString& deviceType);
    // The firmware group's caption with the storage upload's confirmed position.
    void showStoredPosition(const QString& caption);
    // While the bootloader is programmed, the terminal's send line takes no command.
    void lockTerminalInput(bool locked);
    // A message the user must see (the window's box, the shell's standard error).
    void notify(const Notice& notice);
    // The broker has no controller with the hardware id.
    void controllerNotFound();
    // An operation starts or has ended: the controls it locks are locked or free again.
    void showOperationRunning(bool running);
    // A link came up or went: the terminal's send line shows while it is up.
    void showLinkOpen(bool open);
    // The header a firmware check read from the file, and the line it stands on (-1: none).
    void showHeader(const QString& header, qsizetype headerLine);
    // How long the answer is awaited and how long it has been.
    void startWaitBar(int maximum);
    void moveWaitBar(int position);

    // What is shown now.
    const QString& status(int panel) const;
    const BarState& progressBar() const;
    const BarState& waitBar() const { return waitBar_; }
    const QString& deviceType() const { return deviceType_; }
    const QString& firmwareGroupCaption() const { return firmwareGroupCaption_; }

    std::function<void(int panel, const QString& text)> onStatus;
    std::function<void(const QByteArray& line)> onTerminalLine;
    std::function<void(const ProgressEvent& progress)> onProgress;
    std::function<void(const PhaseEvent& phase)> onPhase;
    std::function<void(const Notice& notice)> onNotice;
    std::function<void()> onControllerNotFound;
    std::function<void(bool running)> onOperationRunning;
    std::function<void(bool open)> onLinkOpen;
    std::function<void(const QString& header, qsizetype headerLine)> onHeader;

private:
    friend class HeldMessage;

    TerminalModel& terminal_;
    // The counter (panel 0) and the bar's text are made from last_ when they are read.
    mutable std::array<QString, 4> status_{QStringLiteral("0:0"), QString(),
                                           QStringLiteral("COMx:закрыт"), QString()};
    mutable BarState progressBar_;
    mutable bool counterStale_ = false;
    mutable bool barTextStale_ = false;
    BarState waitBar_;
    QString deviceType_ = QStringLiteral("не определен");
    QString firmwareGroupCaption_;
    ProgressEvent last_;
    // Status panel 3's message as this output wrote it last, and how many it has written.
    QString message_;
    std::uint64_t messagesWritten_ = 0;
};

// Status panel 3's message, held while other messages stand in for it (the wait for a
// controller that is not on line yet): released, the held message comes back, unless another
// message was written after the last stand-in.
class HeldMessage {
public:
    explicit HeldMessage(LoaderOutput& output) : output_(output), held_(output.message_) {}

    void standIn(const PhaseEvent& phase);
    void release();

private:
    LoaderOutput& output_;
    QString held_;
    std::optional<std::uint64_t> lastStandIn_; // the output's count after the last stand-in
};
