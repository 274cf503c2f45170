#pragma once

#include "BenchSupport.h"
#include "assembly/LoaderAssembly.h"
#include "platform/QtRuntime.h"

#include <QTemporaryDir>

namespace Bench {

// The loader as the programs build it (real runtime, real connections, every procedure), with
// dialogs that answer nothing, on a data folder of its own.
struct LoaderRig {
    QtRuntime runtime;
    SilentDialogs dialogs;
    QTemporaryDir dataDir;
    LoaderAssembly parts{runtime, dialogs, dataDir.path()};
    Loader& loader = parts.loader;
    Procedures& procedures = parts.procedures;

    // Selects the TCP page aimed at the simulator's port on this machine.
    void useTcp(quint16 port) {
        loader.form.setConnectionKind(LinkKind::Tcp);
        loader.form.IPEdit.text = QStringLiteral("127.0.0.1");
        loader.form.PortNum.text = QString::number(port);
    }
};

} // namespace Bench
