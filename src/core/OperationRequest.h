#pragma once

#include "LinkSettings.h"
#include "Operation.h"
#include "OperationResult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What the storage upload does besides writing the file.
struct StoreOptions {
    bool finalize = false;         // the controller checks, installs and restarts
    bool accompanyingInit = false; // the accompanying-initialisation commands are sent
    bool verify = false;           // the stored text is read back and compared with the file
    QStringList initCommands;      // those commands, one a line
};

// How a flash restarts the controller and how long it waits, and what it does after a failure.
struct FlashOptions {
    int restart = 0; // how the loader restarts the controller before the banner wait (FlashRestart)
    // How long to wait for the controller's restart banner; 0 waits until the engineer cancels
    // (the window), a script sets a bound.
    std::int64_t resetWaitMs = 0;
    // How long to wait for the end of programming to be confirmed once every record went out;
    // 0 leaves the operation open for the engineer to cancel (the window).
    std::int64_t endWaitMs = 0;
    // Where the window leaves the operation open after a failure for the engineer to cancel, a
    // front end without a cancel button has the flash end it at once.
    bool endOnFailure = false;
};

// Everything an operation or a query needs to know, decided by the front end before it starts:
// the window builds it from its form (FormRequest), the shell from its options. Procedures read
// this, never the window's controls.
struct OperationRequest {
    Operation operation = Operation::Flash;
    LinkSettings link;    // where the controller is reached: the kind, the port or address, the id
    QString firmwarePath; // the chosen, checked firmware file
    QString header;       // the file's header text; its first word is the signature
    // A broker that has no controller with the id yet is asked again until it has.
    bool waitForController = false;
    bool trace = false; // every write of the storage upload on the terminal
    FlashOptions flash;
    StoreOptions store;
    QList<QByteArray> commands; // a send: the texts exactly as they go out
};
