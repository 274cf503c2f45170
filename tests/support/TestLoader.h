#pragma once

#include "ScriptedDevice.h"
#include "ScriptedDialogs.h"
#include "VirtualRuntime.h"
#include "core/Loader.h"

#include <QTemporaryDir>
#include <functional>

// A loader in virtual time with scripted dialogs, a scripted device and a temporary data
// folder: the fixture of every unit test of the core and the procedures.
struct TestLoader {
    TestLoader() : loader(runtime, dialogs, dataDir.path()), device(loader, runtime) {
        runtime.setTimeLimit(24ULL * 3600 * 1000);
    }

    QTemporaryDir dataDir;
    VirtualRuntime runtime;
    ScriptedDialogs dialogs;
    Loader loader;
    ScriptedDevice device;

    LoaderState& state() { return loader.state; }
    FormModel& form() { return loader.form; }
    // Starts an operation as the user would start it, with the connection opened by the
    // driver; returns when the operation has ended.
    void press() { loader.driver.btnConnectClick(); }
    // Starts the chosen operation with the request the controls describe, adjusted as a front
    // end other than the window would (a bounded wait, a failure that ends the run).
    void press(const std::function<void(OperationRequest&)>& adjust) {
        OperationRequest request =
            OperationRequest::fromForm(state().OperationMode, form(), state());
        adjust(request);
        loader.driver.start(request);
    }
    // Opens the connection outside an operation, as the terminal button does.
    void openConnection() { loader.driver.OpenConnection(); }
};
