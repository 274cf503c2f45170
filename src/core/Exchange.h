#pragma once

#include "Answer.h"
#include "AnswerExpectation.h"
#include "Phase.h"
#include "Task.h"

#include <QByteArray>
#include <QString>
#include <coroutine>
#include <cstdint>
#include <memory>

class Alarm;
class Links;
class LoaderOutput;
class Runtime;
class Timer;
struct LoaderChoices;
struct LoaderState;
struct TerminalModel;

// What the command exchange works on: time, the exchange state, the engineer's choices, the
// terminal's send line, the links to write through, the answer timer and where its texts and
// its wait go. No dialogs, no driver, no journal.
struct ExchangeParts {
    Runtime& runtime;
    LoaderState& state;
    const LoaderChoices& choices;
    TerminalModel& terminal;
    Links* const& links;
    std::unique_ptr<Timer>& waitTimer;
    LoaderOutput& output;
    // Timer3: enabled while the connection is alive.
    std::unique_ptr<Timer>& linkTimer;
};

// The command exchange: one command out through the connection of the visible page, then the
// wait until the answer is complete (data followed by three quiet ticks of the 10 ms answer
// timer), the wait time runs out, or the user cancels; repeated as the retry rule says.
//
// A command may carry what its complete answer looks like. When the quiet ticks end on an
// answer that it has not decided, the wait goes on: for up to AnswerGapMs of silence where the
// open line may be the first half of a cut answer or says something unexpected, and until the
// wait ends where only text that is passed over came (an echo, a progress line, another
// command's late answer). In the fast exchange an answer whole by its expectation ends the wait
// at once, without the quiet ticks.
//
// The exchange learns from the answers whether the controller ends its lines: one that does
// not has each answer taken at its silence, without the grace.
//
// A wait holds no thread: the waiting coroutine is suspended, and resumed by the event that
// ends its wait (the answer complete at a tick of the answer timer or at a reception, the wait
// time out, a cancel, the link's end). A command sent from the terminal while a procedure waits
// runs an exchange of its own; the procedure's wait looks again once it is over.
class Exchange {
public:
    explicit Exchange(const ExchangeParts& parts);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Sends the command (its text exactly as given, no line end added) and judges what comes
    // back by what it awaits. It is sent again only while nothing at all comes back, at most
    // command.attempts times in all; an answer that came, whole or not, is never sent for
    // again. AnswerBuffer then holds what arrived in the last attempt. Bytes that arrive once
    // the answer is judged go to the terminal: the next command's attempt starts empty.
    Task<Answer> ask(Command command);
    // Sends nothing and empties nothing: waits up to waitMs for more of the answer that is
    // arriving (a restart banner, the rest of an answer judged already), and ends early once it
    // is whole or refused by `until`. The answer holds everything received since the last
    // command was sent.
    Task<Answer> listen(std::int32_t waitMs, AnswerExpectation until = {});
    // Sends nothing and judges nothing: waits waitMs, or less when the operation stops (a cancel,
    // the link's end). What arrives meanwhile stays in the answer.
    Task<void> pause(std::int32_t waitMs);
    // Runs a task to its end, the event loop processing what comes meanwhile: for callers that
    // do not wait by co_await (the driver, the terminal's send line). Its exception is raised
    // again.
    template <typename T> T runNow(Task<T> task) {
        task.run();
        while (!task.done()) {
            awaitEvents();
        }
        return task.result();
    }
    // A new operation talks to a controller whose manner is not known yet.
    void meetController() { lineEnds_ = LineEnds::Unknown; }

    // The terminal's send line and the shell's send: the retry rule of AttemptLimit, and
    // whether anything came back.
    Task<bool> send(QByteArray text, AnswerExpectation awaited = {});
    // The same, run to its end (a test's stand-in for a procedure, the screenshots).
    bool SendCommand(const QByteArray& text, const AnswerExpectation& awaited = {});
    // The retry rule: counts the attempt and says whether to send again.
    bool ShouldRetry();

    // While a controller is waited for: the wait of one attempt, the command's own (negative:
    // the answer wait) but never longer than the retry period of 30 s.
    std::int32_t retryWait(std::int32_t waitMs) const;
    // Says which attempt comes next and why (the broker lacks the controller, or it is silent).
    void showControllerWait(int attempt);

    // The 10 ms tick of WaitAnswerTimer.
    void WaitAnswerTimerTick();
    // A click on the wait bar ends the current wait at the next tick.
    void pbWaitAnswerMouseDown();

    // The receive routing calls this after every reception that left AnswerBuffer non-empty:
    // the three quiet ticks start again.
    void answerGrew();
    // Something happened that may end the wait in progress (a cancel, the link's end): the
    // waiting coroutine is resumed if it is over.
    void poke();

private:
    // "Дожидаемся подключения LUMET: нет ответа, попытка 3".
    PhaseEvent controllerWait(int attempt) const;
    using LineEnds = AnswerExpectation::LineEnds;
    struct Wait;
    class WaitAwaiter;

    Task<void> attempt(QByteArray text, std::int32_t waitMs);
    void startAttempt(const QByteArray& text, std::int32_t waitMs);
    void endAttempt();
    WaitAwaiter answerWait(std::int32_t waitMs);
    WaitAwaiter listenWait(std::int32_t waitMs);
    WaitAwaiter pauseWait(std::int32_t waitMs);
    void beginWait(Wait& wait);
    void armWait(Wait& wait);
    bool waitOver(const Wait& wait) const;
    void endWait(Wait& wait);
    void alarmRang();
    void showWaitPosition(const Wait& wait);
    void letTimerSleep(const Wait& wait);
    void awaitEvents();
    Answer judged();
    AnswerExpectation::Silence silence() const;
    void learnLineEnds();
    bool waitForController(int attempts) const;
    void writeCommand(const QByteArray& text);
    bool awaitingRestOfAnswer() const;
    bool decided() const;
    bool changesWithSilence() const;
    bool ticksOnlyCountDown(int remainingMs) const;

    ExchangeParts parts_;
    // What the answer of the command being waited for looks like; nothing outside a wait.
    AnswerExpectation awaited_;
    // How far the answer has been looked through for it.
    mutable AnswerExpectation::Scan scan_;
    // A click on the wait bar takes the answer as it is, without the grace.
    bool graceWaived_ = false;
    std::uint32_t lastReceptionTick_ = 0;
    LineEnds lineEnds_ = LineEnds::Unknown;
    // The wait in progress, innermost first (the terminal's command inside a procedure's wait).
    Wait* wait_ = nullptr;
    // Ends a wait when its time is up.
    std::unique_ptr<Alarm> alarm_;
};
