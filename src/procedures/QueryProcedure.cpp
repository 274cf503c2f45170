#include "QueryProcedure.h"

#include "SettingCommand.h"
#include "core/AnswerLine.h"
#include "core/Cp1251.h"
#include "core/Loader.h"
#include "core/LoaderError.h"

namespace {

constexpr int kVersionAttempts = 3;

} // namespace

Task<Verdict> QueryProcedure::send(const OperationRequest& request) {
    Verdict verdict;
    for (const QByteArray& text : request.commands) {
        if (!loader_.state.ConnectionOpen) {
            co_return Verdict::failed(Outcome::LinkLost);
        }
        if (const Verdict failed = co_await sendOne(text, verdict); !failed.succeeded()) {
            verdict.outcome = failed.outcome;
            verdict.reason = failed.reason;
            co_return verdict; // with the answers that came before
        }
    }
    co_return verdict;
}

// One command, sent once: a poke must not repeat "RESET" on its own, and its answer is whatever
// comes before the silence. A damaged frame's bytes are shown as they came, marked "bad CRC",
// though never judged.
Task<Verdict> QueryProcedure::sendOne(QByteArray text, Verdict& verdict) {
    Answer answer;
    // Sent once, judged at its silence (built before the co_await: see Task.h).
    const Command command{text, AnswerExpectation(), 1, -1};
    try {
        answer = co_await loader_.exchange.ask(command);
    } catch (const LoaderError& e) {
        co_return Verdict::failed(Outcome::Error, e.text());
    }
    verdict.output += loader_.state.DamagedText;
    if (const Verdict failed = unanswered(answer); !failed.succeeded()) {
        co_return failed;
    }
    verdict.output += answer.text;
    verdict.answers.append(answer.text);
    co_return Verdict{};
}

// Why a command got no usable answer; a success when it was answered. A damaged frame beside a
// whole one (garbage that looked like a frame) spoils nothing.
Verdict QueryProcedure::unanswered(const Answer& answer) const {
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
    if (answer.status == Answer::Status::Damaged && answer.text.isEmpty()) {
        return Verdict::failed(Outcome::Damaged);
    }
    return answer.text.isEmpty() ? Verdict::failed(Outcome::NoAnswer) : Verdict{};
}

// The line of the answer that holds a version number ("LUMET52 firmware" may come before "VER
// 3.14"); the controller's first words when none does.
QString QueryProcedure::versionLine(const Answer& answer) {
    for (const QByteArray& line : answer.text.split('\n')) {
        for (const QByteArray& part : line.split('\r')) {
            if (AnswerLine::holdsVersionNumber(part) && part.trimmed() != answer.sent) {
                return Cp1251::decode(part.trimmed().left(120));
            }
        }
    }
    return answer.words();
}

Task<Verdict> QueryProcedure::version() {
    const Answer answer = co_await askRepeatable(loader_.exchange, "VER", kVersionAttempts);
    switch (answer.status) {
    case Answer::Status::Refused:
        if (answer.errorLine) {
            co_return Verdict::failed(Outcome::Refused, answer.words());
        }
        [[fallthrough]]; // words without a version number: the controller's own
    case Answer::Status::Whole: {
        Verdict verdict;
        verdict.answers.append(answer.text);
        verdict.reason = versionLine(answer);
        verdict.facts.insert(QStringLiteral("version"), verdict.reason);
        co_return verdict;
    }
    case Answer::Status::Partial:
        co_return Verdict::failed(Outcome::Unconfirmed, answer.words());
    case Answer::Status::Damaged:
        co_return Verdict::failed(Outcome::Damaged);
    case Answer::Status::Cancelled:
    case Answer::Status::LinkLost:
    case Answer::Status::Silent:
        break;
    }
    co_return unanswered(Answer{});
}
