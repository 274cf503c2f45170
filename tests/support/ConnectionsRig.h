#pragma once

#include "FakeLinkLayers.h"
#include "ScriptedDialogs.h"
#include "VirtualRuntime.h"
#include "app/FormBinding.h"
#include "app/FormModel.h"
#include "assembly/LoaderAssembly.h"

#include <QStringList>
#include <QTemporaryDir>

// A loader in virtual time with the real connection handlers over fake serial and TCP layers:
// the fixture of the unit tests of the connections.
struct ConnectionsRig {
    ConnectionsRig() {
        // The controller the tests' broker frames come from.
        form.HARDWARE_IDEdt.text = QStringLiteral("1");
        runtime.setTimeLimit(24ULL * 3600 * 1000);
        loader.onStatus = [this](int panel, const QString& text) {
            if (panel == 2) {
                status2.append(text);
            } else if (panel == 3) {
                status3.append(text);
            }
        };
    }

    // Runs an operation whose procedure is fn; returns when it has ended.
    template <typename Fn> void operation(Fn fn) {
        loader.driver.setProcedure(Operation::Flash, [fn] {
            fn();
            return Verdict{};
        });
        binding.sync();
        binding.btnConnectClick();
        loader.driver.awaitLaunched();
    }
    void useKind(LinkKind kind) {
        while (form.TypeOfConnectGrpPage != kind) {
            binding.ToolButton1Click();
        }
    }

    QTemporaryDir dataDir;
    VirtualRuntime runtime;
    ScriptedDialogs dialogs;
    FakeLinks fakes{runtime};
    LoaderAssembly parts{runtime, dialogs, dataDir.path(), nullptr, fakes.factory()};
    Loader& loader = parts.loader;
    FormModel form;
    FormBinding binding{form, loader};
    // Opens the link the form shows, as the terminal button does.
    void openConnection() {
        binding.sync();
        binding.openConnection();
    }
    Connections& links = parts.connections;
    QStringList status2;
    QStringList status3;
};
