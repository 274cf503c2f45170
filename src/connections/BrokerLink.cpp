#include "BrokerLink.h"

#include "core/Cp1251.h"
#include "core/LoaderError.h"

namespace {

const QByteArray kBadCrc = QByteArrayLiteral("bad CRC");

constexpr int kSettlePauseMs = 10;

} // namespace

BrokerLink::BrokerLink(const ConnectionParts& parts, LinkFactory& layers)
    : parts_(parts), session_(
                         parts, layers, [this](const QByteArray& chunk) { return receive(chunk); },
                         [this] { closed(); }) {
    incompleteFrameTimer_ = parts_.runtime.createTimer(kIncompleteFrameTimeoutMs,
                                                       [this] { incompleteFrameTimedOut(); });
}

Task<void> BrokerLink::open(LinkSettings settings) {
    use(settings);
    session_.drop();
    session_.makeClient(settings.brokerHost, settings.brokerPort);
    co_await session_.pause(kSettlePauseMs);
    session_.attachHandlers();
    session_.activate();
    co_await session_.connectWait(true);
}

void BrokerLink::close() {
    session_.deactivate();
}

void BrokerLink::closed() {
    receiver_.clear();
    incompleteFrameTimer_->stop();
}

void BrokerLink::write(const QByteArray& text) {
    if (text.size() > BrokerFrame::kMaxSentPayload) {
        throw LoaderError(
            QStringLiteral("Команда длиной %1 байт не помещается в пакет брокера (не более %2 "
                           "байт); команда не отправлена")
                .arg(text.size())
                .arg(BrokerFrame::kMaxSentPayload));
    }
    if (!session_.isConnected()) {
        return;
    }
    // An incomplete answer frame still held belongs to an exchange that is over. Its rest is
    // still on the way: it keeps being assembled, so that its bytes are neither taken as the
    // answer to this command nor, cut off, taken for garbage that hides the frames behind it.
    receiver_.markStale();
    parts_.state.AnswerFrameIncomplete = false;
    BrokerFrame::Frame frame;
    frame.hardwareId = addressedId();
    frame.payload = text;
    session_.write(BrokerFrame::encode(frame));
}

std::uint32_t BrokerLink::addressedId() const {
    return hardwareId_;
}

bool BrokerLink::receive(const QByteArray& chunk) {
    // A part of a frame may be the addressed controller's.
    bool forThisController = true;
    try {
        const QList<BrokerReceiver::Piece> pieces = receiver_.feed(chunk);
        forThisController = pieces.isEmpty();
        for (const BrokerReceiver::Piece& piece : pieces) {
            forThisController = deliverPiece(piece) || forThisController;
        }
    } catch (const std::exception& e) {
        parts_.output.setStatus(3, errorText(e));
    }
    // A frame that stays incomplete is given up once no byte has come for a while.
    incompleteFrameTimer_->stop();
    if (receiver_.pendingSize() > 0) {
        incompleteFrameTimer_->start();
    }
    const bool ours = receiver_.pendingSize() > 0 && !receiver_.holdsStaleFrame();
    const qsizetype damaged = ours ? receiver_.heldDamagedFrame() : 0;
    parts_.state.AnswerFrameIncomplete = ours && damaged == 0;
    if (damaged > 0) {
        reportHeldDamagedFrame(damaged);
    }
    return forThisController;
}

// A frame whole by its length that failed its CRC check is the damaged answer now, not when
// the wait for a frame inside it is given up: the exchange ends on it with its quiet ticks.
void BrokerLink::reportHeldDamagedFrame(qsizetype size) {
    LoaderState& s = parts_.state;
    if (!s.OperationActive || s.AnswerDamaged) {
        return;
    }
    showFrameStatus(QStringLiteral("Ошибка CRC пакета [%1 байт]").arg(size));
    s.AnswerDamaged = true;
    damagedShown_ = receiver_.held().left(size);
    s.DamagedText += damagedShown_ + kBadCrc;
    traceReception();
    parts_.router.routeToTerminal(damagedShown_ + kBadCrc);
}

void BrokerLink::traceReception() {
    const LoaderState& s = parts_.state;
    session_.setReceiveTraceTick();
    if (s.DebugMode) {
        parts_.runtime.debugLine(QStringLiteral("TCPClientDataAvailable ") +
                                 Cp1251::decode(s.AnswerBuffer) + QLatin1Char(' ') +
                                 QString::number(s.ReceiveTraceTick));
    }
}

void BrokerLink::deliverForeignFrame(const BrokerFrame::Frame& frame) {
    // Another controller behind the broker (its banner after someone else's RESET, an answer
    // meant for another client): shown marked with its id, never taken as the answer.
    const QString mark = frame.notFound() ? QStringLiteral("[контроллер %1: не найден] ")
                                          : QStringLiteral("[контроллер %1] ");
    parts_.router.routeToTerminal(Cp1251::encode(mark.arg(frame.hardwareId)) + frame.payload);
}

void BrokerLink::deliverStalePiece(const BrokerReceiver::Piece& piece) {
    // Shown in the terminal and the status line, never added to the current answer.
    if (piece.frame) {
        showFrameStatus(QStringLiteral("Запоздавший пакет [%1 байт] пропущен")
                            .arg(piece.frame->payload.size()));
        parts_.router.routeToTerminal(piece.frame->payload);
    } else {
        showFrameStatus(QStringLiteral("Ошибка CRC пакета [%1 байт]").arg(piece.raw.size()));
        parts_.router.routeToTerminal(piece.raw + kBadCrc);
    }
}

bool BrokerLink::deliverPiece(const BrokerReceiver::Piece& piece) {
    if (piece.stale) {
        deliverStalePiece(piece);
        return true;
    }
    if (piece.frame && piece.frame->hardwareId != addressedId()) {
        deliverForeignFrame(*piece.frame);
        return false;
    }
    LoaderState& s = parts_.state;
    QByteArray received;
    if (piece.frame) {
        received = piece.frame->payload;
        if (piece.frame->notFound()) {
            controllerNotFound();
        } else {
            showFrameStatus(QStringLiteral("Ответ получен [%1 байт]").arg(received.size()));
        }
    } else if (!damagedShown_.isEmpty() && piece.raw == damagedShown_) {
        damagedShown_.clear(); // reported when it was held
        return true;
    } else {
        // A damaged frame is shown, never judged: nothing in it confirms anything. Bytes that
        // were no frame at all are noise around the answer.
        damagedShown_.clear();
        showFrameStatus(QStringLiteral("Ошибка CRC пакета [%1 байт]").arg(piece.raw.size()));
        if (piece.frameShaped && s.OperationActive) {
            s.AnswerDamaged = true;
            s.DamagedText += piece.raw + kBadCrc;
        }
    }
    traceReception();
    if (piece.frame) {
        parts_.router.appendAnswer(received);
        parts_.router.routeToTerminal(received);
    } else {
        parts_.router.routeToTerminal(piece.raw + kBadCrc);
    }
    return true;
}

// What a frame was, in status panel 3 while an operation runs. Outside one, frames (a restart
// banner after an operation) go to the terminal alone: the outcome of the last operation stays
// in view until the engineer does something else.
void BrokerLink::showFrameStatus(const QString& text) {
    if (parts_.state.OperationActive) {
        parts_.output.setStatus(3, text);
    }
}

void BrokerLink::controllerNotFound() {
    const QString notFound = QStringLiteral("БРОКЕР:LUMET не найден...");
    parts_.output.setStatus(3, notFound);
    // Outside an operation (the terminal's send line) the choice as it stands now counts.
    const LoaderState& s = parts_.state;
    if (s.OperationActive ? s.WaitForController : parts_.choices.waitForController) {
        parts_.state.ControllerMissing = true;
        return;
    }
    parts_.output.notify({Notice::Kind::Error,
                          notFound + QStringLiteral("\r\nПовторите операцию позже..."), QString()});
    parts_.output.controllerNotFound();
}

void BrokerLink::incompleteFrameTimedOut() {
    incompleteFrameTimer_->stop();
    parts_.state.AnswerFrameIncomplete = false;
    if (auto piece = receiver_.flush()) {
        if (deliverPiece(*piece) && !piece->stale) {
            parts_.router.endReception();
        }
    }
}
