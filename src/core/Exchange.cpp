#include "Exchange.h"

#include "Cp1251.h"
#include "Links.h"
#include "LoaderChoices.h"
#include "LoaderError.h"
#include "LoaderOutput.h"
#include "LoaderState.h"
#include "ReceiveRouter.h"
#include "Runtime.h"
#include "TerminalModel.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace {

// While a controller the broker does not have yet is waited for, the command goes again at
// least this often, whatever the answer wait is set to.
constexpr std::int32_t kControllerRetryMs = 30000;

QString answerOverflowText() {
    return QStringLiteral("Устройство передает данные без остановки: ответ длиннее %1 Мбайт, "
                          "обмен прерван")
        .arg(ReceiveRouter::kAnswerLimit / (1024 * 1024));
}

// Puts the expectation of a command in force for its exchange and gives the outer one back
// afterwards, also when the write raises (the terminal's send line may run an exchange inside
// a procedure's wait). The answer is looked through afresh either way.
class ExpectationInForce {
public:
    ExpectationInForce(AnswerExpectation& slot, AnswerExpectation::Scan& scan,
                       const AnswerExpectation& awaited)
        : slot_(slot), scan_(scan), outer_(std::exchange(slot, awaited)) {
        scan_ = {};
    }
    ~ExpectationInForce() {
        slot_ = std::move(outer_);
        scan_ = {};
    }
    ExpectationInForce(const ExpectationInForce&) = delete;
    ExpectationInForce& operator=(const ExpectationInForce&) = delete;

private:
    AnswerExpectation& slot_;
    AnswerExpectation::Scan& scan_;
    AnswerExpectation outer_;
};

} // namespace

// One wait in progress: an attempt's answer wait, a listen, a pause, or a hold that keeps an
// outer wait from being resumed while the terminal's command runs its own exchange.
struct Exchange::Wait {
    enum class Kind { Attempt, Listen, Pause, Hold };
    Kind kind = Kind::Hold;
    std::int32_t waitMs = 0;
    std::uint32_t t0 = 0;
    std::coroutine_handle<> waiting; // set while the coroutine is suspended on it
    Wait* outer = nullptr;
};

// The awaitable of one wait: begins it, and suspends the coroutine unless it is over at once.
class Exchange::WaitAwaiter {
public:
    WaitAwaiter(Exchange& exchange, Wait::Kind kind, std::int32_t waitMs) : exchange_(exchange) {
        wait_.kind = kind;
        wait_.waitMs = waitMs;
    }
    bool await_ready() {
        exchange_.beginWait(wait_);
        if (!exchange_.waitOver(wait_)) {
            return false;
        }
        exchange_.endWait(wait_);
        return true;
    }
    void await_suspend(std::coroutine_handle<> waiting) {
        wait_.waiting = waiting;
        exchange_.armWait(wait_);
    }
    void await_resume() const {}

private:
    Exchange& exchange_;
    Wait wait_;
};

Exchange::Exchange(const ExchangeParts& parts)
    : parts_(parts), alarm_(parts.runtime.createAlarm([this] { alarmRang(); })) {}

Exchange::~Exchange() = default;

Task<Answer> Exchange::ask(Command command) {
    const ExpectationInForce inForce(awaited_, scan_, command.awaited);
    parts_.terminal.edit1 = Cp1251::decode(command.text);
    const bool waiting = waitForController(command.attempts);
    const std::int32_t waitMs = waiting ? retryWait(command.waitMs) : command.waitMs;
    HeldMessage shownBefore(parts_.output);
    Answer answer;
    for (int sends = 1;; ++sends) {
        parts_.state.ControllerMissing = false;
        co_await attempt(command.text, waitMs);
        answer = judged();
        answer.sent = command.text;
        answer.sends = sends;
        if (answer.status != Answer::Status::Silent) {
            break;
        }
        if (sends >= command.attempts && !waiting) {
            break;
        }
        if (waiting) {
            shownBefore.standIn(controllerWait(sends + 1));
        }
    }
    // The controller came on line: the count of attempts is over, what was shown before it is
    // shown again (a cancel or a lost link has written its own message meanwhile and keeps it).
    shownBefore.release();
    co_return answer;
}

// The wait of one attempt while the controller is waited for: the command's own, or the
// answer wait, but never longer than the retry period.
std::int32_t Exchange::retryWait(std::int32_t waitMs) const {
    const std::int32_t own = waitMs < 0 ? parts_.state.AnswerTimeoutMs : waitMs;
    return std::clamp(own, 0, kControllerRetryMs);
}

void Exchange::showControllerWait(int attempt) {
    parts_.output.showPhase(controllerWait(attempt));
}

PhaseEvent Exchange::controllerWait(int attempt) const {
    PhaseEvent wait{Phase::WaitingForController};
    wait.attempt = attempt;
    wait.controllerMissing = parts_.state.ControllerMissing;
    return wait;
}

// While the engineer waits for a controller to come on line, a command that may be repeated is
// sent until the controller answers or the operation is stopped.
bool Exchange::waitForController(int attempts) const {
    return attempts > 1 && parts_.state.WaitForController;
}

Answer Exchange::judged() {
    const LoaderState& s = parts_.state;
    Answer answer;
    answer.text = s.AnswerBuffer;
    if (!s.OperationActive) {
        answer.status = Answer::Status::Cancelled;
    } else if (!s.LinkAlive || parts_.runtime.terminating()) {
        answer.status = Answer::Status::LinkLost;
    } else if (s.AnswerDamaged) {
        answer.status = Answer::Status::Damaged;
    } else {
        answer.status = Answer::judged(awaited_, answer.text, scan_, silence());
        answer.errorLine = answer.status == Answer::Status::Refused &&
                           scan_.judgement == AnswerExpectation::Judgement::Refused;
        answer.dataFrom = std::clamp<qsizetype>(scan_.ownStart, 0, answer.text.size());
        if (answer.status == Answer::Status::Whole) {
            learnLineEnds();
        }
    }
    return answer;
}

AnswerExpectation::Silence Exchange::silence() const {
    const auto silentMs =
        std::int64_t(std::int32_t(parts_.runtime.tickCount() - lastReceptionTick_));
    return {int(std::clamp<std::int64_t>(silentMs, 0, INT_MAX)), parts_.state.AnswerGapMs,
            lineEnds_};
}

// An answer its line end decided shows a controller that ends its lines; one whole only when
// its open line was taken at silence, a controller that does not.
void Exchange::learnLineEnds() {
    if (scan_.decidedBy == AnswerExpectation::DecidedBy::EndedLine) {
        lineEnds_ = LineEnds::Seen;
    } else if (scan_.decidedBy == AnswerExpectation::DecidedBy::OpenLine && !graceWaived_) {
        lineEnds_ = LineEnds::None;
    }
}

Task<Answer> Exchange::listen(std::int32_t waitMs, AnswerExpectation until) {
    const ExpectationInForce inForce(awaited_, scan_, until);
    co_await listenWait(std::max(0, waitMs));
    if (parts_.state.AnswerOverflow) {
        parts_.state.Flooded = true;
        throw LoaderError(answerOverflowText());
    }
    co_return judged();
}

Task<void> Exchange::pause(std::int32_t waitMs) {
    co_await pauseWait(std::max(0, waitMs));
}

void Exchange::awaitEvents() {
    parts_.runtime.awaitEvents(INT_MAX);
}

bool Exchange::SendCommand(const QByteArray& text, const AnswerExpectation& awaited) {
    return runNow(send(text, awaited));
}

Task<bool> Exchange::send(QByteArray text, AnswerExpectation awaited) {
    LoaderState& s = parts_.state;
    // A procedure may wait meanwhile: it is not resumed until this exchange is over.
    Wait hold;
    beginWait(hold);
    // While the engineer waits for a controller to come on line, a line sent by hand goes again
    // as the operation's own commands do: at most 30 s apart, each attempt named with its cause.
    const bool waiting = s.AttemptLimit > 1 && s.WaitForController;
    bool answered = false;
    try {
        const ExpectationInForce inForce(awaited_, scan_, awaited);
        parts_.terminal.edit1 = Cp1251::decode(text);
        for (int sent = 1;; ++sent) {
            ++s.AttemptCount;
            s.ControllerMissing = false;
            co_await attempt(text, waiting ? retryWait(-1) : -1);
            answered = s.AnswerReceived;
            if (!ShouldRetry()) {
                break;
            }
            if (waiting) {
                showControllerWait(sent + 1);
            }
        }
    } catch (...) {
        endWait(hold);
        throw;
    }
    endWait(hold);
    poke();
    co_return answered;
}

// One attempt: the answer so far is dropped, the text goes out, and the wait runs. Text that
// came while nothing was waited for (the tail of an answer already judged) went to the
// terminal only.
Task<void> Exchange::attempt(QByteArray text, std::int32_t waitMs) {
    const std::int32_t wait = waitMs < 0 ? parts_.state.AnswerTimeoutMs : waitMs;
    startAttempt(text, wait);
    // A negative wait time (possible only from a hand-edited setting) waits like 0.
    co_await answerWait(std::max(0, wait));
    endAttempt();
}

void Exchange::startAttempt(const QByteArray& text, std::int32_t waitMs) {
    LoaderState& s = parts_.state;
    s.AnswerBuffer.clear();
    s.DamagedText.clear();
    scan_ = {};
    s.AnswerReceived = false;
    s.AnswerDamaged = false;
    s.AnswerOverflow = false;
    writeCommand(text);
    parts_.output.addTerminalLine(text);
    parts_.waitTimer->start();
    s.ReceiveTraceTick = parts_.runtime.tickCount() + std::uint32_t(waitMs);
    if (s.DebugMode) {
        parts_.runtime.debugLine(QStringLiteral("WriteStr ") + Cp1251::decode(text) +
                                 QLatin1Char(' ') + QString::number(s.ReceiveTraceTick));
    }
}

void Exchange::endAttempt() {
    LoaderState& s = parts_.state;
    if (s.AnswerOverflow) {
        s.Flooded = true;
        throw LoaderError(answerOverflowText());
    }
    // The wait ran out while the answer's rest was awaited: what came is an answer, never none.
    s.AnswerReceived = s.AnswerReceived || !s.AnswerBuffer.isEmpty() || s.AnswerDamaged;
}

void Exchange::writeCommand(const QByteArray& text) {
    const LoaderState& s = parts_.state;
    if (s.OperationActive && !s.ConnectionOpen) {
        // The link went while the operation ran: nothing can go out, and the wait that follows
        // ends the operation as a lost link at once (a write would only fail with the port's
        // own words, "Port Not Open").
        return;
    }
    if (parts_.links != nullptr) {
        parts_.links->write(parts_.choices.link.kind, text);
    }
}

Exchange::WaitAwaiter Exchange::answerWait(std::int32_t waitMs) {
    return WaitAwaiter(*this, Wait::Kind::Attempt, waitMs);
}

Exchange::WaitAwaiter Exchange::listenWait(std::int32_t waitMs) {
    return WaitAwaiter(*this, Wait::Kind::Listen, waitMs);
}

Exchange::WaitAwaiter Exchange::pauseWait(std::int32_t waitMs) {
    return WaitAwaiter(*this, Wait::Kind::Pause, waitMs);
}

void Exchange::beginWait(Wait& wait) {
    wait.t0 = parts_.runtime.tickCount();
    wait.outer = std::exchange(wait_, &wait);
    if (wait.kind != Wait::Kind::Attempt) {
        return;
    }
    LoaderState& s = parts_.state;
    s.AnswerReceived = false;
    graceWaived_ = false;
    s.QuietTicks = wait.waitMs;
    parts_.output.startWaitBar(wait.waitMs);
    parts_.waitTimer->start();
}

// The wait is suspended: its time is set, and the answer timer wakes only when a tick can
// matter.
void Exchange::armWait(Wait& wait) {
    const auto elapsed = std::int64_t(parts_.runtime.tickCount() - wait.t0);
    alarm_->set(int(std::max<std::int64_t>(0, wait.waitMs - elapsed)));
    if (wait.kind == Wait::Kind::Attempt) {
        showWaitPosition(wait);
        letTimerSleep(wait);
    }
}

bool Exchange::waitOver(const Wait& wait) const {
    const LoaderState& s = parts_.state;
    if (wait.kind == Wait::Kind::Hold) {
        return false;
    }
    const auto elapsed = std::int64_t(std::uint32_t(parts_.runtime.tickCount() - wait.t0));
    if (!s.OperationActive || elapsed >= wait.waitMs || s.AnswerOverflow || !s.LinkAlive ||
        parts_.runtime.terminating()) {
        return true;
    }
    if (wait.kind == Wait::Kind::Attempt) {
        return s.AnswerReceived || s.QuietTicks == 0;
    }
    return wait.kind == Wait::Kind::Listen && awaited_.awaitsSomething() && decided();
}

void Exchange::endWait(Wait& wait) {
    wait_ = wait.outer;
    wait.waiting = {};
    if (wait_ != nullptr && wait_->waiting) {
        armWait(*wait_); // the outer wait's own time again
    } else {
        alarm_->cancel();
    }
    if (wait.kind == Wait::Kind::Attempt) {
        parts_.output.moveWaitBar(0);
        parts_.waitTimer->resume();
    }
}

// Looks whether the wait in progress is over. The waiting coroutine is not resumed here, inside
// whatever handler noticed it (a reception, a timer's tick, a cancel), but from the event loop
// right after: the handler finishes first, and the state it works on is never changed under it.
void Exchange::poke() {
    Wait* wait = wait_;
    if (wait == nullptr || !wait->waiting) {
        return; // nobody suspended, or a command of the terminal's runs
    }
    if (waitOver(*wait)) {
        alarm_->set(0);
    } else if (wait->kind == Wait::Kind::Attempt) {
        showWaitPosition(*wait);
        letTimerSleep(*wait);
    }
}

// The wait's time is up, or poke() found it over: the waiting coroutine goes on.
void Exchange::alarmRang() {
    Wait* wait = wait_;
    if (wait == nullptr || !wait->waiting) {
        return;
    }
    if (!waitOver(*wait)) {
        armWait(*wait);
        return;
    }
    const std::coroutine_handle<> waiting = wait->waiting;
    endWait(*wait);
    waiting.resume();
}

void Exchange::showWaitPosition(const Wait& wait) {
    const std::uint32_t elapsed = parts_.runtime.tickCount() - wait.t0;
    parts_.output.moveWaitBar(elapsed > std::uint32_t(INT_MAX) ? INT_MAX : int(elapsed));
}

// While nothing has been received the answer timer's ticks would only count QuietTicks down,
// far from 0: the timer is suspended and wakes nobody, and a reception, a click or the end of
// the wait resumes it with the ticks it missed. After a reception it skips the quiet ticks before
// the last the same way: one wake instead of three (a thousand fleet members wake less than half
// as often).
void Exchange::letTimerSleep(const Wait& wait) {
    const auto elapsed = std::uint32_t(parts_.runtime.tickCount() - wait.t0);
    const int remainingMs =
        int(std::uint32_t(wait.waitMs) - std::min(elapsed, std::uint32_t(wait.waitMs)));
    if (ticksOnlyCountDown(remainingMs)) {
        parts_.waitTimer->suspend();
    } else if (parts_.state.QuietTicks > 1) {
        parts_.waitTimer->skipTicks(parts_.state.QuietTicks - 1);
    }
}

bool Exchange::ShouldRetry() {
    LoaderState& s = parts_.state;
    ++s.AttemptCount;
    const bool waitingForController = s.AttemptLimit > 1 && s.WaitForController;
    if (waitingForController) {
        --s.AttemptCount;
    }
    return s.AttemptCount < s.AttemptLimit && s.OperationActive && !s.AnswerReceived;
}

void Exchange::WaitAnswerTimerTick() {
    LoaderState& s = parts_.state;
    // The last quiet tick waits while a frame of the answer is half received (the connection
    // gives such a frame up after a while, and the answer wait has its own limit), and while
    // the answer is not yet whole by its expectation and its grace of silence lasts.
    if (s.QuietTicks == 1 && (s.AnswerFrameIncomplete || awaitingRestOfAnswer())) {
        if (!s.AnswerFrameIncomplete && !changesWithSilence()) {
            // Only a reception or the end of the wait can decide it now: no tick needed.
            parts_.waitTimer->suspend();
        }
        return;
    }
    if (s.QuietTicks != 0) {
        --s.QuietTicks;
        if (s.QuietTicks == 0) {
            s.AnswerReceived = !s.AnswerBuffer.isEmpty() || s.AnswerDamaged;
        }
    }
    if (s.QuietTicks == 0) {
        parts_.waitTimer->stop();
        if (!s.AnswerReceived) {
            parts_.output.showPhase({Phase::TimeExpired});
        }
        poke();
    }
}

// Nothing received, and QuietTicks cannot reach 0 before the wait ends (a click on the wait
// bar sets it to 1, which the next tick must see).
bool Exchange::ticksOnlyCountDown(int remainingMs) const {
    const LoaderState& s = parts_.state;
    const int interval = std::max(1, parts_.waitTimer->intervalMs());
    return s.AnswerBuffer.isEmpty() && s.QuietTicks > remainingMs / interval + 1;
}

// The answer has gone quiet, but what it awaits may still come: the open line may be the first
// half of a cut answer, or only text that is passed over has come (an echo, a progress line,
// another command's late answer).
bool Exchange::awaitingRestOfAnswer() const {
    const LoaderState& s = parts_.state;
    if (graceWaived_ || !awaited_.awaitsSomething() || s.AnswerBuffer.isEmpty() ||
        s.AnswerDamaged) {
        return false;
    }
    return awaited_.atSilence(s.AnswerBuffer, scan_, silence()) ==
           AnswerExpectation::Judgement::Incomplete;
}

// Whole, or refused by an error line: nothing that comes after can change the judgement.
bool Exchange::decided() const {
    const auto judgement = awaited_.judge(parts_.state.AnswerBuffer, scan_);
    return judgement == AnswerExpectation::Judgement::Whole ||
           judgement == AnswerExpectation::Judgement::Refused;
}

// Whether more silence alone could still decide the answer: not once the grace has passed.
bool Exchange::changesWithSilence() const {
    return silence().silentMs < parts_.state.AnswerGapMs;
}

void Exchange::answerGrew() {
    LoaderState& s = parts_.state;
    parts_.waitTimer->resume();
    // After a click on the wait bar the next tick ends the wait, whatever comes meanwhile.
    s.QuietTicks = graceWaived_ ? std::min(s.QuietTicks, 1) : 3;
    lastReceptionTick_ = parts_.runtime.tickCount();
    if (parts_.choices.fastExchange && !s.AnswerDamaged && decided()) {
        s.QuietTicks = 0;
        s.AnswerReceived = true;
    }
    poke();
}

void Exchange::pbWaitAnswerMouseDown() {
    parts_.waitTimer->resume();
    parts_.state.QuietTicks = 1;
    parts_.state.AnswerFrameIncomplete = false; // the user ends the wait now
    graceWaived_ = true;
}
