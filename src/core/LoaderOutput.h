#pragma once

#include "Progress.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

struct FormModel;

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
// touch no control; the form model and the front end's observers render what they report.
class LoaderOutput {
public:
    explicit LoaderOutput(FormModel& form) : form_(form) {}

    // Writes a status-bar panel (0 progress counter, 2 connection state, 3 messages).
    void setStatus(int panel, const QString& text);
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

    std::function<void(int panel, const QString& text)> onStatus;
    std::function<void(const QByteArray& line)> onTerminalLine;
    std::function<void(const ProgressEvent& progress)> onProgress;
    std::function<void(const Notice& notice)> onNotice;
    std::function<void()> onControllerNotFound;

private:
    friend class HeldMessage;

    FormModel& form_;
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

    void standIn(const QString& text);
    void release();

private:
    LoaderOutput& output_;
    QString held_;
    std::optional<std::uint64_t> lastStandIn_; // the output's count after the last stand-in
};
