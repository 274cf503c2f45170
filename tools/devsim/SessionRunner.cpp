#include "SessionRunner.h"

#include "AnswerShaper.h"

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
}

void SessionRunner::start() {
    ++run_;
    input_.clear();
    queue_.clear();
    tokenizer_.flush();
    controller_.restart();
    scheduleBanner(0);
}

void SessionRunner::startRunning() {
    ++run_;
    input_.clear();
    queue_.clear();
    tokenizer_.flush();
    bannerTimer_.stop();
    controller_.boot();
}

void SessionRunner::receive(const QByteArray& bytes) {
    if (input_.paced()) {
        input_.push(bytes, false);
    } else {
        take(bytes);
    }
}

void SessionRunner::receiveCommand(const QByteArray& payload) {
    if (input_.paced()) {
        input_.push(payload, true);
    } else {
        takeCommand(payload);
    }
}

void SessionRunner::take(const QByteArray& bytes) {
    for (const QByteArray& command : tokenizer_.feed(bytes)) {
        process(command);
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
    if (!rest.isEmpty()) {
        process(rest);
    }
}

void SessionRunner::process(const QByteArray& command) {
    const std::optional<FaultKind> targeted = device_.answers.count(command);
    const Reply reply =
        targeted == FaultKind::Refused ? Reply{injectedRefusal()} : controller_.handle(command);
    if (controller_.mode() != Controller::Mode::Restarting) {
        bannerTimer_.stop();
    }
    const bool dropped = faults_.dropAnswer();
    if (reply.pageWrite && faults_.closeAtThisWrite()) {
        queue_.enqueue({Piece{0, {}, true}});
        return;
    }
    if (!dropped && !reply.text.isEmpty()) {
        answer(reply.text, targeted);
    }
    if (reply.restart) {
        scheduleBanner(options_.controller.resetDelayMs);
    }
}

void SessionRunner::answer(const QByteArray& text, std::optional<FaultKind> targeted) {
    const Pieces shaped = shapeAnswer(text, faults_);
    if (!targeted) {
        queue_.enqueue(shaped);
        return;
    }
    const TargetedAnswer hit = shapeTargeted(text, shaped, *targeted, options_.faults);
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
