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
    // Adds one line to the terminal window's view.
    void addTerminalLine(const QByteArray& line);

    std::function<void(int panel, const QString& text)> onStatus;
    std::function<void(const QByteArray& line)> onTerminalLine;
    std::function<void(const ProgressEvent& progress)> onProgress;

private:
    FormModel& form_;
};
