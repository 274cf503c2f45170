#pragma once

#include "connections/Connections.h"
#include "core/Loader.h"
#include "procedures/Procedures.h"

#include <QString>

// One loader as the front ends run it, wired in one place: the loader on the front end's
// runtime and dialogs, its links (serial port, TCP and broker; the loader's links are pointed
// at them here, and nowhere else) and its procedures (registered with the driver by mode; their
// questions go to the front end's answers, or without them to the dialogs). The parts are built in
// this order and go in the reverse one.
class LoaderAssembly {
public:
    LoaderAssembly(Runtime& runtime, Dialogs& dialogs, const QString& dataDir,
                   Questions* questions = nullptr, LinkFactory factory = LinkFactory::qt());
    ~LoaderAssembly();
    LoaderAssembly(const LoaderAssembly&) = delete;
    LoaderAssembly& operator=(const LoaderAssembly&) = delete;

    Loader loader;
    Connections connections;
    Procedures procedures;
};
