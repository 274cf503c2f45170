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

    QString header; // the firmware file's header, as the check of the file read it

    // Aims the link at the simulator's TCP port on this machine.
    void useTcp(quint16 port) {
        loader.choices.link.kind = LinkKind::Tcp;
        loader.choices.link.host = QStringLiteral("127.0.0.1");
        loader.choices.link.port = port;
    }
    // Runs the operation on the chosen link and file; returns when it has ended.
    void run(Operation operation) {
        OperationRequest request;
        request.operation = operation;
        request.link = loader.choices.link;
        request.firmwarePath = loader.state.FirmwareFilePath;
        request.header = header;
        loader.driver.start(request);
    }
};

} // namespace Bench
