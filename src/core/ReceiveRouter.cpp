#include "ReceiveRouter.h"

#include "Loader.h"

void ReceiveRouter::appendAnswer(const QByteArray& chunk) {
    LoaderState& s = loader_.state;
    if (!s.OperationActive) {
        return;
    }
    s.AnswerBuffer.append(chunk);
    if (s.AnswerBuffer.size() > kAnswerLimit) {
        s.AnswerOverflow = true;
        s.AnswerBuffer.remove(0, s.AnswerBuffer.size() - kAnswerLimit / 2);
    }
}

void ReceiveRouter::routeToTerminal(const QByteArray& chunk) {
    LoaderState& s = loader_.state;
    if (s.OperationActive) {
        if (!chunk.isEmpty()) {
            loader_.addTerminalLine(chunk);
        }
    } else {
        s.PendingTerminalText.append(chunk);
        s.LastReceiveTick = loader_.runtime.tickCount();
        if (s.PendingTerminalText.size() >= kPendingLimit) {
            loader_.addTerminalLine(s.PendingTerminalText);
            s.PendingTerminalText.clear();
        }
    }
}

void ReceiveRouter::endReception() {
    if (!loader_.state.AnswerBuffer.isEmpty()) {
        loader_.exchange.answerGrew(); // restarts the three quiet ticks
    }
}

void ReceiveRouter::receive(const QByteArray& chunk) {
    appendAnswer(chunk);
    routeToTerminal(chunk);
    endReception();
}

void ReceiveRouter::Timer3Timer() {
    LoaderState& s = loader_.state;
    const std::uint32_t now = loader_.runtime.tickCount();
    if (now - s.LastReceiveTick <= 70) {
        return;
    }
    if (!s.PendingTerminalText.isEmpty()) {
        loader_.addTerminalLine(s.PendingTerminalText);
    }
    s.PendingTerminalText.clear();
    s.LastReceiveTick = now;
}
