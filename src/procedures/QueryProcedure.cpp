#include "QueryProcedure.h"

#include "SettingCommand.h"
#include "core/Loader.h"
#include "core/LoaderError.h"

namespace {

constexpr int kVersionAttempts = 3;

} // namespace

Verdict QueryProcedure::send(const OperationRequest& request) {
    Verdict verdict;
    for (const QByteArray& text : request.commands) {
        if (!loader_.state.ConnectionOpen) {
            return Verdict::failed(Outcome::LinkLost);
        }
        if (const Verdict failed = sendOne(text, verdict); !failed.succeeded()) {
            verdict.outcome = failed.outcome;
            verdict.reason = failed.reason;
            return verdict; // with the answers that came before
        }
    }
    return verdict;
}

// One command, sent once: a poke must not repeat "RESET" on its own. A damaged frame's bytes
// are shown as they came, marked "bad CRC", though never judged.
Verdict QueryProcedure::sendOne(const QByteArray& text, Verdict& verdict) {
    LoaderState& s = loader_.state;
    s.AttemptCount = 0;
    s.AttemptLimit = 1;
    bool answered = false;
    try {
        answered = loader_.exchange.SendCommand(text);
    } catch (const LoaderError& e) {
        return Verdict::failed(Outcome::Error, e.text());
    }
    verdict.output += s.DamagedText;
    if (const Verdict failed = unanswered(answered); !failed.succeeded()) {
        return failed;
    }
    verdict.output += s.AnswerBuffer;
    verdict.answers.append(s.AnswerBuffer);
    return Verdict{};
}

// Why a command got no usable answer; a success when it was answered.
Verdict QueryProcedure::unanswered(bool answered) const {
    const LoaderState& s = loader_.state;
    switch (loader_.stopReason()) {
    case Loader::Stop::Cancelled:
        return Verdict::failed(Outcome::Cancelled);
    case Loader::Stop::NotFound:
        return Verdict::failed(Outcome::NotFound);
    case Loader::Stop::LinkLost:
        return Verdict::failed(Outcome::LinkLost);
    case Loader::Stop::None:
        break;
    }
    if (!answered) {
        return Verdict::failed(Outcome::NoAnswer);
    }
    // A damaged frame beside a whole one (garbage that looked like a frame) spoils nothing.
    if (s.AnswerDamaged && s.AnswerBuffer.isEmpty()) {
        return Verdict::failed(Outcome::Damaged);
    }
    return Verdict{};
}

Verdict QueryProcedure::version() {
    const Answer answer = askRepeatable(loader_.exchange, "VER", kVersionAttempts);
    switch (answer.status) {
    case Answer::Status::Whole: {
        Verdict verdict;
        verdict.answers.append(answer.text);
        verdict.reason = answer.words();
        return verdict;
    }
    case Answer::Status::Refused:
        return Verdict::failed(Outcome::Refused, answer.words());
    case Answer::Status::Partial:
        return Verdict::failed(Outcome::Unconfirmed, answer.words());
    case Answer::Status::Damaged:
        return Verdict::failed(Outcome::Damaged);
    case Answer::Status::Cancelled:
        return Verdict::failed(Outcome::Cancelled);
    case Answer::Status::LinkLost:
        return Verdict::failed(Outcome::LinkLost);
    case Answer::Status::Silent:
        break;
    }
    return Verdict::failed(loader_.stopReason() == Loader::Stop::NotFound ? Outcome::NotFound
                                                                          : Outcome::NoAnswer);
}
