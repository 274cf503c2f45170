#pragma once

#include <QString>
#include <functional>
#include <map>

class Loader;

// The operation driver and the connection lifecycle as the loader sees it: the main button
// starts an operation (or cancels the running one), opens the connection when needed, runs the
// procedure of the chosen mode, reports and journals the outcome, and gives the controls back.
class OperationDriver {
public:
    using Procedure = std::function<void()>;

    explicit OperationDriver(Loader& loader) : loader_(loader) {}

    // The procedure run for an operation mode (18, 37 or 2); a mode without one runs nothing.
    void setProcedure(int mode, Procedure procedure);
    Procedure procedure(int mode) const;

    void btnConnectClick();
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
    void lockControls();
    void runOperation();
    void reportOutcome();
    void runProcedure();

    Loader& loader_;
    std::map<int, Procedure> procedures_;
};
