#include "SessionRunner.h"

#include "AnswerShaper.h"
#include "Bounds.h"

namespace devsim {

SessionRunner::SessionRunner(Device& device, const SimOptions& options, std::uint32_t salt,
                             QObject* parent)
    : QObject(parent), options_(options), device_(device), faults_(options.faults, salt),
      controller_(device, &faults_), input_(options.paceBaud, this),
      queue_(options.paceBaud, this) {
    idleTimer_.setSingleShot(true);
    idleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        const QByteArray command = tokenizer_.flush();
        if (!command.isEmpty()) {
            process(command);
        }
    });
    bannerTimer_.setSingleShot(true);
    connect(&bannerTimer_, &QTimer::timeout, this, &SessionRunner::showBanner);
    connect(&input_, &PacedInput::crossed, this, [this](const QByteArray& bytes, bool whole) {
        if (whole) {
            takeCommand(bytes);
        } else {
            take(bytes);
        }
    });
    connect(&queue_, &OutputQueue::write, this, &SessionRunner::output);
    connect(&queue_, &OutputQueue::wroteUnsolicited, this, &SessionRunner::bannerOutput);
    connect(&queue_, &OutputQueue::closeRequested, this, &SessionRunner::closeRequested);
    connect(&queue_, &OutputQueue::overflowed, this, &SessionRunner::overflow);
}

void SessionRunner::setOutputBacklog(std::function<qsizetype()> backlog) {
    queue_.setBacklog(std::move(backlog));
}

void SessionRunner::forgetInput() {
    ++run_;
    input_.clear();
    tokenizer_.flush();
    idleTimer_.stop();
}

void SessionRunner::start() {
    forgetInput();
    queue_.clear();
    closed_ = false;
    controller_.restart();
    scheduleBanner(0);
}

void SessionRunner::startRunning() {
    forgetInput();
    queue_.clear();
    closed_ = false;
    bannerTimer_.stop();
    controller_.boot();
}

void SessionRunner::reopen() {
    queue_.clear();
    closed_ = false;
}

void SessionRunner::overflow(qsizetype unread) {
    forgetInput();
    closed_ = true;
    emit overflowed(QStringLiteral("%1 bytes of answers waiting to go out, more than %2")
                        .arg(unread)
                        .arg(kMaxUnreadOutput));
}

bool SessionRunner::receive(const QByteArray& bytes) {
    if (closed_) {
        return true;
    }
    if (input_.paced()) {
        return input_.push(bytes, false);
    }
    take(bytes);
    return true;
}

bool SessionRunner::receiveCommand(const QByteArray& payload) {
    if (closed_) {
        return true;
    }
    if (input_.paced()) {
        return input_.push(payload, true);
    }
    takeCommand(payload);
    return true;
}

void SessionRunner::take(const QByteArray& bytes) {
    for (const QByteArray& command : tokenizer_.feed(bytes)) {
        if (closed_) {
            return; // the output overflowed: the rest is dropped
        }
        process(command);
    }
    if (closed_) {
        return;
    }
    if (tokenizer_.hasPending()) {
        idleTimer_.start(options_.idleGapMs);
    } else {
        idleTimer_.stop();
    }
}

void SessionRunner::takeCommand(const QByteArray& payload) {
    take(payload);
    idleTimer_.stop();
    const QByteArray rest = tokenizer_.flush();
    if (!rest.isEmpty() && !closed_) {
        process(rest);
    }
}

void SessionRunner::process(const QByteArray& command) {
    const std::optional<FaultKind> targeted = device_.answers.count(command);
    if (targeted == FaultKind::Unheard) {
        return; // lost on its way: the controller knows nothing of it
    }
    const bool refused =
        targeted == FaultKind::Refused || (device_.refusesWrites && controller_.writes(command));
    const Reply reply = refused ? controller_.refusal(command) : controller_.handle(command);
    if (controller_.mode() != Controller::Mode::Restarting) {
        bannerTimer_.stop();
    }
    const bool dropped = faults_.dropAnswer();
    if (reply.pageWrite && faults_.closeAtThisWrite()) {
        queue_.enqueue({Piece{0, {}, true}});
        return;
    }
    const SpokenAnswer spoken = speak(device_.options.dialect, command, reply);
    if (!dropped && !spoken.isEmpty()) {
        answer(spoken, targeted);
    }
    if (reply.restart) {
        scheduleBanner(options_.controller.resetDelayMs);
    }
}

void SessionRunner::answer(const SpokenAnswer& spoken, std::optional<FaultKind> targeted) {
    const Pieces shaped =
        shapeAnswer(spoken.now, faults_, spoken.later, device_.options.dialect.progressMs);
    if (!targeted) {
        queue_.enqueue(shaped);
        return;
    }
    const TargetedAnswer hit = shapeTargeted(spoken.whole(), shaped, *targeted, options_.faults);
    queue_.enqueue(hit.now);
    if (!hit.late.isEmpty()) {
        answerLate(hit.late);
    }
}

// The answers after it go out as usual meanwhile: the late one comes between them.
void SessionRunner::answerLate(const Pieces& pieces) {
    QTimer::singleShot(options_.faults.lateMs, this, [this, pieces, run = run_] {
        if (run == run_) {
            queue_.enqueue(pieces);
        }
    });
}

void SessionRunner::showBanner() {
    if (controller_.mode() != Controller::Mode::Restarting) {
        return;
    }
    Pieces pieces = shapeText(controller_.banner(), 0, options_.faults);
    for (Piece& piece : pieces) {
        piece.unsolicited = true;
    }
    queue_.enqueue(pieces);
    scheduleBanner(options_.controller.bannerIntervalMs);
}

void SessionRunner::scheduleBanner(int delayMs) {
    bannerTimer_.start(delayMs);
}

} // namespace devsim
