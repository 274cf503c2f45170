#pragma once

#include "CommandTokenizer.h"
#include "Controller.h"
#include "Device.h"
#include "FaultPlan.h"
#include "OutputQueue.h"
#include "PacedInput.h"
#include "SimOptions.h"
#include "SpokenAnswer.h"

#include <QObject>
#include <QTimer>

namespace devsim {

// Runs one session with a controller in real time: cuts the incoming bytes into commands
// (line end or idle gap), lets the controller answer, repeats the restart banner while the
// controller is restarting, and writes the answers through the fault plan, the device's
// targeted faults and the output queue. With --pace both directions run at the speed of a
// serial line.
// It knows nothing of sockets: the front end feeds bytes in and takes the output pieces.
// Its unread output is bounded (OutputQueue): past the bound it drops what it holds both ways,
// takes nothing more until it starts again (or reopen()) and says so; its front end then drops
// the connection or restarts the controller.
class SessionRunner : public QObject {
    Q_OBJECT
public:
    SessionRunner(Device& device, const SimOptions& options, std::uint32_t salt,
                  QObject* parent = nullptr);

    // Restarts the controller: forgets the session and shows the banner now and then repeatedly.
    void start();
    // Starts with the controller already running (no banner until it restarts).
    void startRunning();
    // Takes input again after an overflow, the controller as it was.
    void reopen();
    // Bytes of the incoming stream. False, and nothing taken, when they do not fit on the paced
    // line (kMaxInputInFlight, Bounds.h).
    bool receive(const QByteArray& bytes);
    // One whole command (the payload of a broker frame); false as receive.
    bool receiveCommand(const QByteArray& payload);
    const Controller& controller() const { return controller_; }
    // The bytes written that the way out still holds for its peer (a socket's write buffer),
    // counted with the queued output against its bound.
    void setOutputBacklog(std::function<qsizetype()> backlog);
    // An answer due at once goes out from the call that took its command, not from the event
    // loop's next pass (OutputQueue::setWritesDueAtOnce).
    void setAnswersDueAtOnce(bool atOnce) { queue_.setWritesDueAtOnce(atOnce); }

signals:
    // damaged: an answer a targeted fault damages; the way in garbles it or spoils its frame.
    void output(const QByteArray& bytes, bool damaged);
    // The restart banner, also sent through output.
    void bannerOutput(const QByteArray& bytes);
    void closeRequested();
    // The unread output passed its bound; why says by how much, for the simulator's log.
    void overflowed(const QString& why);

private:
    void take(const QByteArray& bytes);
    void takeCommand(const QByteArray& payload);
    void process(const QByteArray& command);
    void answer(const SpokenAnswer& spoken, std::optional<FaultKind> targeted);
    void answerLate(const Pieces& pieces);
    void showBanner();
    void scheduleBanner(int delayMs);
    void overflow(qsizetype unread);
    void forgetInput();

    const SimOptions& options_;
    Device& device_;
    FaultPlan faults_;
    Controller controller_;
    CommandTokenizer tokenizer_;
    PacedInput input_;
    OutputQueue queue_;
    QTimer idleTimer_;
    QTimer bannerTimer_;
    // Counts the session's starts: a late answer from before the last one is dropped.
    int run_ = 0;
    // Past the output bound: input is ignored until the session starts again.
    bool closed_ = false;
};

} // namespace devsim
