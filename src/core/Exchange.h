#pragma once

#include <QByteArray>

class Loader;

// The command exchange: one command out through the connection of the visible page, then the
// wait until the answer is complete (data followed by three quiet ticks of the 10 ms answer
// timer), the wait time runs out, or the user cancels; repeated as the retry rule says.
class Exchange {
public:
    explicit Exchange(Loader& loader) : loader_(loader) {}

    // Sends the text exactly as given (no line end added) and returns whether a complete
    // answer arrived. AnswerBuffer then holds what arrived since the last attempt began.
    bool SendCommand(const QByteArray& text);
    // The wait of one attempt.
    void WaitAnswer();
    // The retry rule: counts the attempt and says whether to send again.
    bool ShouldRetry();

    // The 10 ms tick of WaitAnswerTimer.
    void WaitAnswerTimerTick();
    // A click on the wait bar ends the current wait at the next tick.
    void pbWaitAnswerMouseDown();
    // The menu item that sets the wait time.
    void mnuTimeOutClick();

private:
    void writeCommand(const QByteArray& text);

    Loader& loader_;
};
