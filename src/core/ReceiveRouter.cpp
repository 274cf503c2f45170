#include "ReceiveRouter.h"

#include "Exchange.h"
#include "LoaderOutput.h"
#include "LoaderState.h"
#include "Runtime.h"

void ReceiveRouter::appendAnswer(const QByteArray& chunk) {
    LoaderState& s = parts_.state;
    if (!s.OperationActive) {
        return;
    }
    s.AnswerBuffer.append(chunk);
    if (s.AnswerBuffer.size() > s.AnswerLimit) {
        s.AnswerOverflow = true;
        s.AnswerBuffer.remove(0, s.AnswerBuffer.size() - s.AnswerLimit / 2);
    }
}

void ReceiveRouter::routeToTerminal(const QByteArray& chunk) {
    LoaderState& s = parts_.state;
    if (s.OperationActive) {
        if (!chunk.isEmpty()) {
            parts_.output.addTerminalLine(chunk);
        }
    } else {
        s.PendingTerminalText.append(chunk);
        s.LastReceiveTick = parts_.runtime.tickCount();
        if (s.PendingTerminalText.size() >= kPendingLimit) {
            parts_.output.addTerminalLine(s.PendingTerminalText);
            s.PendingTerminalText.clear();
        }
        parts_.flushTimer->resume();
    }
}

void ReceiveRouter::endReception() {
    if (!parts_.state.AnswerBuffer.isEmpty() || parts_.state.AnswerDamaged) {
        parts_.exchange.answerGrew(); // restarts the three quiet ticks
    }
}

void ReceiveRouter::receive(const QByteArray& chunk) {
    appendAnswer(chunk);
    routeToTerminal(chunk);
    endReception();
}

void ReceiveRouter::Timer3Timer() {
    LoaderState& s = parts_.state;
    const std::uint32_t now = parts_.runtime.tickCount();
    if (now - s.LastReceiveTick > 70) {
        if (!s.PendingTerminalText.isEmpty()) {
            parts_.output.addTerminalLine(s.PendingTerminalText);
        }
        s.PendingTerminalText.clear();
        s.LastReceiveTick = now;
    }
    // Further ticks would only look at the clock: a thousand fleet members, each with its
    // connection, would wake ten thousand times a second for nothing.
    if (s.PendingTerminalText.isEmpty()) {
        parts_.flushTimer->suspend();
    }
}
