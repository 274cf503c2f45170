#pragma once

#include "BenchSupport.h"
#include "connections/Connections.h"
#include "core/Loader.h"
#include "core/QtRuntime.h"
#include "procedures/Procedures.h"

#include <QTemporaryDir>

namespace Bench {

// The loader as the programs build it (real runtime, real connections, every procedure), with
// dialogs that answer nothing, on a data folder of its own.
struct LoaderRig {
    QtRuntime runtime;
    SilentDialogs dialogs;
    QTemporaryDir dataDir;
    Loader loader{runtime, dialogs, dataDir.path()};
    Connections connections{loader};
    Procedures procedures{loader};

    LoaderRig() { loader.links = &connections; }
    // Selects the TCP page aimed at the simulator's port on this machine.
    void useTcp(quint16 port) {
        loader.form.setConnectionKind(kTcp);
        loader.form.IPEdit.text = QStringLiteral("127.0.0.1");
        loader.form.PortNum.text = QString::number(port);
    }
};

} // namespace Bench
