#include "OperationDriver.h"

#include "Links.h"
#include "Loader.h"
#include "LoaderError.h"
#include "OperationTable.h"
#include "OutcomeText.h"
#include "TimeFormat.h"

OperationDriver::OperationDriver(Loader& loader) : loader_(loader), launched_(loader.runtime) {}

void OperationDriver::setProcedure(Operation operation, Procedure procedure) {
    procedures_[operation] = std::move(procedure);
}

namespace {

// The task of a procedure that does not wait by co_await: it runs at the task's start. The
// procedure is the task's own copy, so that the task never outlives what it calls.
Task<Verdict> plainTask(OperationDriver::PlainProcedure procedure,
                        const OperationRequest& request) {
    co_return procedure(request);
}

} // namespace

void OperationDriver::setProcedure(Operation operation, PlainProcedure procedure) {
    if (!procedure) {
        setProcedure(operation, Procedure());
        return;
    }
    setProcedure(operation, [procedure = std::move(procedure)](const OperationRequest& request) {
        return plainTask(procedure, request);
    });
}

void OperationDriver::setProcedure(Operation operation, const std::function<Verdict()>& procedure) {
    if (!procedure) {
        setProcedure(operation, Procedure());
        return;
    }
    setProcedure(operation,
                 PlainProcedure([procedure](const OperationRequest&) { return procedure(); }));
}

OperationDriver::Procedure OperationDriver::procedure(Operation operation) const {
    const auto it = procedures_.find(operation);
    return it != procedures_.end() ? it->second : Procedure();
}

void OperationDriver::start(const OperationRequest& request) {
    if (!loader_.state.OperationActive) {
        loader_.exchange.runNow(run(request));
    }
}

void OperationDriver::launch(const OperationRequest& request) {
    if (!loader_.state.OperationActive && !launched_.running()) {
        launched_.launch(run(request));
    }
}

void OperationDriver::awaitLaunched() {
    launched_.awaitAll();
}

Task<void> OperationDriver::run(OperationRequest request) {
    if (loader_.state.OperationActive) {
        co_return;
    }
    begin(request);
    try {
        co_await runOperation();
    } catch (const std::exception& e) {
        endWithError(e);
    }
    finish();
}

void OperationDriver::begin(const OperationRequest& request) {
    LoaderState& s = loader_.state;
    request_ = request;
    loader_.journal.noteOperationLink(request_.link);
    s.WaitForController = request.waitForController;
    // The operation's link is the one written to, also by the terminal while it runs.
    loader_.choices.link = request.link;
    loader_.output.showOperationRunning(true);
    s.OperationActive = true;
    s.ControllerNotFound = false;
    s.ControllerMissing = false;
    loader_.Timer3->stop();
    loader_.output.clearProgress();
    // Only the storage load shows its confirmed position in the firmware group's caption.
    if (request.operation != Operation::Store) {
        loader_.output.showStoredPosition(UiTexts::firmwareGroup());
    }
    loader_.showPhase({Phase::OpeningLink});
    s.OperationFailed = false;
    s.Flooded = false;
    s.AnswerOverflow = false;
    result_ = OperationResult{};
    result_.operation = request.operation;
    procedureStarted_ = false;
    cancelReason_.clear();
}

void OperationDriver::finish() {
    // The answer timer of the last wait would count its ticks on and, minutes later, say that
    // time ran out over the outcome: nothing of an ended operation writes the status.
    loader_.WaitAnswerTimer->stop();
    RestoreControls();
    loader_.output.endProgress();
    if (onFinished) {
        onFinished(result_);
    }
}

Task<void> OperationDriver::runOperation() {
    LoaderState& s = loader_.state;
    // What an earlier run left is no answer of this one; what comes from here on is, also what
    // comes while the connection opens.
    s.AnswerBuffer.clear();
    loader_.exchange.meetController();
    if (loader_.links != nullptr) {
        loader_.links->use(request_.link); // a link left open: the controller the request names
    }
    if (!s.ConnectionOpen) {
        co_await openConnection(request_.link);
        s.OperationFailed = false;
        if (!s.ConnectionOpen) {
            throw LoaderError(UiTexts::portUnavailable());
        }
    }
    // A link left open (by the terminal, by the last operation) is alive for this one too: were
    // Timer3 left stopped, the procedure would take the link for lost at its first look.
    loader_.Timer3->start();
    s.OperationStart = loader_.runtime.now();
    report(co_await runProcedure());
}

// A mode without a procedure runs nothing and succeeds.
Task<Verdict> OperationDriver::runProcedure() {
    procedureStarted_ = true;
    const auto it = procedures_.find(request_.operation);
    if (it != procedures_.end() && it->second) {
        co_return co_await it->second(request_);
    }
    co_return Verdict{};
}

void OperationDriver::report(const Verdict& verdict) {
    const LoaderState& s = loader_.state;
    result_.outcome = outcomeOf(verdict);
    result_.reason = result_.outcome == Outcome::Flooded ? QString() : reasonOf(verdict);
    result_.file = verdict.file;
    result_.resume = verdict.resume;
    result_.answers = verdict.answers;
    result_.output = verdict.output;
    result_.facts = verdict.facts;
    const QDateTime end = loader_.runtime.now();
    result_.elapsedMs = s.OperationStart.msecsTo(end);
    Verdict completed = verdict;
    completed.outcome = result_.outcome;
    completed.reason = result_.reason;
    result_.text =
        OutcomeText::status(request_.operation, completed,
                            TimeFormat::elapsed(s.OperationStart, end), request_.commands);
    loader_.showPhase(PhaseEvent::message(result_.text));
    writeJournal();
}

void OperationDriver::writeJournal() {
    try {
        loader_.journal.WriteJournal(result_.text);
        result_.journalWritten = true;
    } catch (const std::exception& e) {
        result_.journalError = errorText(e);
        loader_.showPhase(PhaseEvent::message(UiTexts::journalError().arg(result_.journalError)));
    }
}

// A flood that cut an exchange off is the cause of a failure, whatever the procedure made of it
// (silence, a lost connection, an error of its own); so is one that overflowed the answer while
// the procedure watched it without a command (the flash's wait for the restart banner). A
// cancel stays the user's.
Outcome OperationDriver::outcomeOf(const Verdict& verdict) const {
    const LoaderState& s = loader_.state;
    const bool flooded = (s.Flooded || s.AnswerOverflow) && !verdict.succeeded() &&
                         verdict.outcome != Outcome::Cancelled;
    return flooded ? Outcome::Flooded : verdict.outcome;
}

// The verdict's reason, completed where the driver knows more: the controller the broker did
// not find, or why the operation was cancelled when it was not the user's click.
QString OperationDriver::reasonOf(const Verdict& verdict) const {
    if (verdict.outcome == Outcome::NotFound) {
        return missingController();
    }
    QString reason = OutcomeText::reason(verdict);
    if (verdict.outcome == Outcome::Cancelled && reason.isEmpty()) {
        return cancelledBecause();
    }
    return reason;
}

// Why a cancel came when it was not the user's click (a signal); a wait for a controller the
// broker lacks keeps that cause beside the user's cancel.
QString OperationDriver::cancelledBecause() const {
    if (cancelReason_.isEmpty() && loader_.state.ControllerMissing) {
        return OutcomeText::cause(Outcome::NotFound, missingController(), QString());
    }
    return cancelReason_;
}

// The controller the broker did not find, as the outcome's text names it.
QString OperationDriver::missingController() const {
    return QStringLiteral("ID %1").arg(request_.link.hardwareId);
}

// An error raised on the way is shown as its own message, as the connection layer or the
// procedure wrote it, and closes the connection; nothing is journalled. A cancel during the
// connection wait is a cancel, not a busy port, a controller the broker lacks is not found, and
// an exchange cut off by a flood is the flood: these are outcomes of the operation and get their
// journal entry.
void OperationDriver::endWithError(const std::exception& error) {
    const Loader::Stop stop = loader_.stopReason();
    if (stop == Loader::Stop::Cancelled) {
        result_.outcome = Outcome::Cancelled;
    } else if (stop == Loader::Stop::NotFound) {
        result_.outcome = Outcome::NotFound;
    } else if (loader_.state.Flooded) {
        result_.outcome = Outcome::Flooded;
    } else {
        result_.outcome = procedureStarted_ ? Outcome::Error : Outcome::ConnectionFailed;
    }
    result_.reason = result_.outcome == Outcome::NotFound    ? missingController()
                     : result_.outcome == Outcome::Cancelled ? cancelledBecause()
                     : result_.outcome == Outcome::Flooded   ? QString()
                                                             : errorText(error);
    const bool ownMessage =
        result_.outcome == Outcome::Error || result_.outcome == Outcome::ConnectionFailed;
    result_.text = ownMessage
                       ? result_.reason
                       : OutcomeText::status(request_.operation,
                                             Verdict::failed(result_.outcome, result_.reason), {},
                                             request_.commands);
    loader_.showPhase(PhaseEvent::message(result_.text));
    if (!ownMessage) {
        writeJournal();
    }
    CloseConnection();
}

void OperationDriver::cancel(const QString& reason) {
    if (loader_.state.OperationActive) {
        cancelReason_ = reason;
        cancelOperation();
    }
}

void OperationDriver::stopForMissingController() {
    LoaderState& s = loader_.state;
    s.ControllerNotFound = s.OperationActive;
    s.OperationActive = false;
    loader_.exchange.poke();
}

void OperationDriver::cancelOperation() {
    RestoreControls();
    loader_.showPhase({Phase::Cancelled});
    RestoreControls();
}

void OperationDriver::RestoreControls() {
    loader_.state.OperationActive = false;
    loader_.exchange.poke();
    loader_.Timer3->stop();
    loader_.output.showOperationRunning(false);
}

void OperationDriver::OpenConnection(const LinkSettings& settings) {
    loader_.exchange.runNow(openConnection(settings));
}

Task<void> OperationDriver::openConnection(LinkSettings settings) {
    // The terminal writes to the link opened last.
    loader_.choices.link = settings;
    loader_.Timer3->start();
    if (loader_.links != nullptr) {
        co_await loader_.links->open(settings);
    }
    if (!loader_.state.ConnectionOpen) {
        loader_.Timer3->stop();
    }
}

void OperationDriver::CloseConnection() {
    RestoreControls();
    Links* links = loader_.links;
    if (links == nullptr || loader_.terminal.visible) {
        return;
    }
    links->close(loader_.connectionKind());
}

void OperationDriver::releaseDevices() {
    if (loader_.links != nullptr && !loader_.terminal.visible) {
        loader_.links->releaseDevices();
    }
}
