#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include "core/Progress.h"

class Loader;
struct OperationResult;

// Shows an operation's progress on standard error, driven by the loader's progress events, the
// messages of status panel 3 and the driver's result at the end.
// - Bar: standard error is a terminal. One line redrawn in place: a bar, the percentage, the
//   counts, the remaining time and the latest message; messages that end a stage stay above it.
// - Lines: every message on a line of its own (standard error is a file or a pipe).
// - Machine: as Lines, plus "@progress DONE TOTAL" lines four times a second, for a program
//   that reads them (chosen by the environment variable VELKOR_CLI_PROGRESS=machine).
// - Member: a fleet member's: messages as Lines, into the member's channel, and the counts
//   handed to the channel as they come, without a text or a timer.
// - Off: --quiet.
class ProgressDisplay {
public:
    enum class Mode { Off, Lines, Bar, Machine, Member };

    ProgressDisplay(Loader& loader, Mode mode);
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // The mode for standard error as it is, given --quiet.
    static Mode modeFor(bool quiet);
    // Clears the bar line of the display showing one, so that other text can be printed on
    // standard error; the next refresh draws it again.
    static void clearLine();

    // The counts of the latest progress event. False when there is nothing to count.
    bool counts(qint64& done, qint64& total) const;
    // "m:ss" (or "h:mm:ss") of a duration.
    static QString duration(qint64 ms);

private:
    void onStatus(const QString& text);
    void onFinished(const OperationResult& result);
    void refresh();
    void drawBar();
    QString barLine(int width);
    qint64 remainingMs(qint64 done, qint64 total);

    Loader& loader_;
    Mode mode_;
    QTimer timer_;
    QString message_;
    ProgressEvent progress_;
    QElapsedTimer clock_;
    qint64 firstDone_ = -1;
    qint64 firstMs_ = 0;
    QString lastMachine_;
    bool finished_ = false; // the operation's verdict was shown: no bar any more
};
