#pragma once

#include "Operation.h"
#include "OperationRequest.h"
#include "OperationResult.h"
#include "Task.h"

#include "LaunchedTasks.h"
#include <QString>
#include <functional>

#include <map>
class Loader;

// The operation driver and the connection lifecycle as the loader sees it: the main button
// starts an operation (or cancels the running one), opens the connection when needed, runs the
// procedure of the chosen mode, reports and journals the outcome, and gives the controls back.
class OperationDriver {
public:
    // A procedure runs the operation's dialogue with the controller as the request says, and
    // says how it ended: a task that waits by co_await, resumed by the event loop.
    using Procedure = std::function<Task<Verdict>(const OperationRequest& request)>;
    // One that does not wait by co_await (the tests' stand-ins for a procedure).
    using PlainProcedure = std::function<Verdict(const OperationRequest& request)>;

    explicit OperationDriver(Loader& loader);

    // The procedure run for an operation; an operation without one runs nothing.
    void setProcedure(Operation operation, Procedure procedure);
    void setProcedure(Operation operation, PlainProcedure procedure);
    // A procedure that needs nothing from the request.
    void setProcedure(Operation operation, const std::function<Verdict()>& procedure);
    Procedure procedure(Operation operation) const;

    // Runs the operation or query the request describes, unless one is running: opens the link
    // when needed, runs the procedure, reports and journals the outcome, gives the controls
    // back. The result is lastResult(). Returns when the operation has ended, the event loop
    // running meanwhile.
    void start(const OperationRequest& request);
    // The same as a task, for a caller that waits by co_await: the thread runs other work
    // while the operation waits.
    Task<void> run(OperationRequest request);
    // Starts the operation and returns at once, unless one is running: the event loop runs it,
    // onFinished says when it has ended (the window's main button).
    void launch(const OperationRequest& request);
    // An operation launch() started has not ended yet.
    bool launched() const { return launched_.running(); }
    // Runs the event loop until the launched operation has ended (cancel it first): what the
    // application does before it closes, so that no operation is left half way.
    void awaitLaunched();
    // The request of the running operation (or of the last one).
    const OperationRequest& request() const { return request_; }
    // Cancels the running operation, as the button does, for a reason the result names (a
    // signal); an empty reason is the user's click.
    void cancel(const QString& reason);
    // The broker has no controller with the request's id: the running operation ends for that
    // reason, as a cancel would end it.
    void stopForMissingController();
    // The result of the last operation that ended.
    const OperationResult& lastResult() const { return result_; }
    // Called with the result when an operation has ended and the controls are back.
    std::function<void(const OperationResult&)> onFinished;
    // Opens the link the settings name outside an operation (the terminal's); returns when it
    // is open or has failed.
    void OpenConnection(const LinkSettings& settings);
    // Opens the link the settings name; an operation opens the one of its request.
    Task<void> openConnection(LinkSettings settings);
    void CloseConnection();
    // Lets go of a device the link holds (the serial port) unless the terminal window shows the
    // exchange; network links stay as they are.
    void releaseDevices();
    void RestoreControls();

private:
    void cancelOperation();
    void begin(const OperationRequest& request);
    Task<void> runOperation();
    void finish();
    void report(const Verdict& verdict);
    void endWithError(const std::exception& error);
    Task<Verdict> runProcedure();
    void writeJournal();
    QString missingController() const;
    QString cancelledBecause() const;
    Outcome outcomeOf(const Verdict& verdict) const;
    QString reasonOf(const Verdict& verdict) const;
    QString cancelReason_;

    Loader& loader_;
    std::map<Operation, Procedure> procedures_;
    LaunchedTasks launched_;
    OperationRequest request_;
    OperationResult result_;
    bool procedureStarted_ = false;
};
