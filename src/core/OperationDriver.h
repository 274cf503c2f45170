#pragma once

#include "OperationResult.h"

#include <QString>
#include <functional>
#include <map>

class Loader;

// The operation driver and the connection lifecycle as the loader sees it: the main button
// starts an operation (or cancels the running one), opens the connection when needed, runs the
// procedure of the chosen mode, reports and journals the outcome, and gives the controls back.
class OperationDriver {
public:
    // A procedure runs the operation's dialogue with the controller and says how it ended.
    using Procedure = std::function<Verdict()>;

    explicit OperationDriver(Loader& loader) : loader_(loader) {}

    // The procedure run for an operation mode (18, 37 or 2); a mode without one runs nothing.
    void setProcedure(int mode, Procedure procedure);
    Procedure procedure(int mode) const;

    // Starts an operation, or cancels the running one.
    void btnConnectClick();
    // Cancels the running operation, as the button does, for a reason the result names (a
    // signal); an empty reason is the user's click.
    void cancel(const QString& reason);
    // The result of the last operation that ended.
    const OperationResult& lastResult() const { return result_; }
    // Called with the result when an operation has ended and the controls are back.
    std::function<void(const OperationResult&)> onFinished;
    void OpenConnection();
    void CloseConnection();
    void RestoreControls();
    void ToolButton1Click();
    // One handler for the three operation items; the item is given by its icon number.
    void N1Click(int itemIcon);
    // The three storage-load options are visible exactly in mode 37.
    void applyOptionVisibility();

    // The caption of the operation item with that icon number.
    static QString menuCaption(int itemIcon);

private:
    void startOperation();
    void cancelOperation();
    void runOperation();
    void report(const Verdict& verdict);
    void endWithError(const std::exception& error);
    Verdict runProcedure();
    void writeJournal();
    QString missingController() const;
    Outcome outcomeOf(const Verdict& verdict) const;
    QString reasonOf(const Verdict& verdict) const;
    QString cancelReason_;

    Loader& loader_;
    std::map<int, Procedure> procedures_;
    OperationResult result_;
    bool procedureStarted_ = false;
};
