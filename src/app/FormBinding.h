#pragma once

#include "core/Operation.h"

struct FormModel;
class Loader;

// The window's form kept in step with its loader. What the loader shows that changes the
// form's own controls (an operation locks them, a link fixes the port, a check reads the
// header) reaches the form; the engineer's choices on the form reach the loader before it acts
// on them. The handlers of the controls that act on both live here.
class FormBinding {
public:
    FormBinding(FormModel& form, Loader& loader);
    ~FormBinding();
    FormBinding(const FormBinding&) = delete;
    FormBinding& operator=(const FormBinding&) = delete;

    // The link, the fast exchange and the wait for a controller as the form shows them now go
    // to the loader; the menu captions follow the wait times in force.
    void sync();

    // The main button: launches an operation of the chosen mode as the controls describe it (it
    // runs on from the event loop), or cancels the running one.
    void btnConnectClick();
    // Opens the link the connection page shows (the terminal outside an operation).
    void openConnection();
    // Serial becomes TCP/IP, TCP/IP the broker, the broker serial again.
    void ToolButton1Click();
    // One handler for the operation items.
    void N1Click(Operation operation);
    // The storage-load options show in the storage load's mode, the restart in the flash's.
    void applyOptionVisibility();

private:
    FormModel& form_;
    Loader& loader_;
};
