#pragma once

#include "ScriptedDevice.h"
#include "ScriptedDialogs.h"
#include "VirtualRuntime.h"
#include "app/FormBinding.h"
#include "app/FormModel.h"
#include "app/FormRequest.h"
#include "core/Loader.h"

#include <QTemporaryDir>
#include <functional>

// A loader in virtual time with scripted dialogs, a scripted device and a temporary data
// folder, with the window's form bound to it: the fixture of every unit test of the core and
// the procedures.
struct TestLoader {
    TestLoader() : loader(runtime, dialogs, dataDir.path()), device(loader, runtime) {
        runtime.setTimeLimit(24ULL * 3600 * 1000);
    }

    QTemporaryDir dataDir;
    VirtualRuntime runtime;
    ScriptedDialogs dialogs;
    Loader loader;
    ScriptedDevice device;
    FormModel form_;
    FormBinding binding{form_, loader};

    LoaderState& state() { return loader.state; }
    FormModel& form() { return form_; }
    // What status panel 0 to 3 shows.
    const QString& status(int panel) const { return loader.output.status(panel); }
    // Starts an operation as the user would start it, with the connection opened by the
    // driver; returns when the operation has ended.
    void press() {
        binding.sync();
        binding.btnConnectClick();
        loader.driver.awaitLaunched();
    }
    // Starts the chosen operation with the request the controls describe, adjusted as a front
    // end other than the window would (a bounded wait, a failure that ends the run).
    void press(const std::function<void(OperationRequest&)>& adjust) {
        binding.sync();
        OperationRequest request = FormRequest::operation(state().OperationMode, form(), state());
        adjust(request);
        loader.driver.start(request);
    }
    // Opens the connection outside an operation, as the terminal button does.
    void openConnection() {
        binding.sync();
        binding.openConnection();
    }
};
