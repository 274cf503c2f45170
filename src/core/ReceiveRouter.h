#pragma once

#include "LoaderState.h"

#include <QByteArray>

#include <memory>

class Exchange;
class LoaderOutput;
class Runtime;
class Timer;

// What the receive routing works on: time, the state it routes into, the terminal's lines,
// the exchange whose quiet ticks a reception restarts, and Timer3.
struct RouterParts {
    Runtime& runtime;
    LoaderState& state;
    LoaderOutput& output;
    Exchange& exchange;
    std::unique_ptr<Timer>& flushTimer;
};

// The received-data routing rule shared by every connection kind. During an operation each
// reception goes to AnswerBuffer and makes its own terminal line; outside an operation the
// bytes collect in PendingTerminalText, which the 100 ms Timer3 flushes as one line once 70 ms
// pass without reception. With nothing pending Timer3 sleeps (it stays enabled, the sign of a
// live connection) and wakes nobody, until text comes outside an operation.
class ReceiveRouter {
public:
    explicit ReceiveRouter(const RouterParts& parts) : parts_(parts) {}

    // The default of LoaderState::AnswerLimit.
    static constexpr qsizetype kAnswerLimit = kDefaultAnswerLimit;
    // Text received outside an operation is shown as a line once this much has collected,
    // also while the peer does not pause.
    static constexpr qsizetype kPendingLimit = 64 * 1024;

    // Appends the chunk to AnswerBuffer while an operation runs. Past AnswerLimit the oldest
    // half goes and AnswerOverflow is set: memory stays bounded, and a loop that watches for a
    // text in the newest bytes (the restart banner) still sees it.
    void appendAnswer(const QByteArray& chunk);
    // Steps T1 and T2: the chunk to the terminal, as a line or into the pending text.
    void routeToTerminal(const QByteArray& chunk);
    // Step T3, at the end of every receive event: a non-empty AnswerBuffer restarts the three
    // quiet ticks.
    void endReception();
    // All three in order, for a connection that delivers plain chunks.
    void receive(const QByteArray& chunk);

    // The 100 ms tick of Timer3.
    void Timer3Timer();

private:
    RouterParts parts_;
};
