#pragma once

#include "ScriptedDialogs.h"
#include "app/FormBinding.h"
#include "app/FormModel.h"
#include "assembly/LoaderAssembly.h"
#include "platform/QtRuntime.h"

#include <QStringList>
#include <QTemporaryDir>

// A loader in real time over the real serial and TCP layers: the fixture of the integration
// tests of the connections. Waits are short so every test stays fast.
struct RealConnectionsRig {
    RealConnectionsRig() {
        // The controller the tests' broker frames come from.
        form.HARDWARE_IDEdt.text = QStringLiteral("1");
        loader.onStatus = [this](int panel, const QString& text) {
            if (panel == 2) {
                status2.append(text);
            } else if (panel == 3) {
                status3.append(text);
            }
        };
        loader.setAnswerTimeout(1500);
        loader.state.AttemptLimit = 1;
    }

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
    // Qt's layers, keeping the TCP client made last.
    LinkFactory layers() {
        LinkFactory factory = LinkFactory::qt();
        factory.makeTcp = [this, make = factory.makeTcp](const QString& host, const QString& port) {
            std::unique_ptr<TcpLayer> client = make(host, port);
            tcpClient = client.get();
            return client;
        };
        return factory;
    }
    // Pumps events for ms milliseconds of real time.
    void pump(int ms) {
        const std::uint32_t end = runtime.tickCount() + std::uint32_t(ms);
        while (std::int32_t(runtime.tickCount() - end) < 0) {
            runtime.processEvents();
            runtime.sleep(1);
        }
    }

    QTemporaryDir dataDir;
    QtRuntime runtime;
    ScriptedDialogs dialogs;
    TcpLayer* tcpClient = nullptr;
    LoaderAssembly parts{runtime, dialogs, dataDir.path(), nullptr, layers()};
    Loader& loader = parts.loader;
    FormModel form;
    FormBinding binding{form, loader};
    // Opens the link the form shows, as the terminal button does.
    void openConnection() {
        binding.sync();
        binding.openConnection();
    }
    QStringList status2;
    QStringList status3;
};
