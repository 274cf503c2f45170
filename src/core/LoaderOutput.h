#pragma once

#include "Progress.h"

#include <QByteArray>
#include <QString>
#include <functional>

struct FormModel;

// Where the loader's texts go: the status panels, the progress counter and bar, the terminal's
// lines, each with an observer for the front end that shows them as they happen.
class LoaderOutput {
public:
    explicit LoaderOutput(FormModel& form) : form_(form) {}

    // Writes a status-bar panel (0 progress counter, 2 connection state, 3 messages).
    void setStatus(int panel, const QString& text);
    // "DONE:TOTAL" in status panel 0, the share and time left on the bar, the event to the
    // observer.
    void showProgress(const ProgressEvent& progress);
    // An operation starts: the bar is empty and says nothing, whatever the last one left.
    void clearProgress();
    // The operation is over, however it ended: nothing is left to wait for, so the bar keeps
    // how far it got without a time left.
    void endProgress();
    // Adds one line to the terminal window's view.
    void addTerminalLine(const QByteArray& line);

    std::function<void(int panel, const QString& text)> onStatus;
    std::function<void(const QByteArray& line)> onTerminalLine;
    std::function<void(const ProgressEvent& progress)> onProgress;

private:
    FormModel& form_;
    ProgressEvent last_;
};
