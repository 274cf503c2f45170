#pragma once

#include "Operation.h"
#include "OperationResult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

struct FormModel;
struct LoaderState;

// What the storage upload does besides writing the file.
struct StoreOptions {
    bool finalize = false;         // the controller checks, installs and restarts
    bool accompanyingInit = false; // the accompanying-initialisation commands are sent
    bool verify = false;           // the stored text is read back and compared with the file
    QStringList initCommands;      // those commands, one a line
};

// Everything an operation or a query needs to know, decided by the front end before it starts:
// the window builds it from its form, the shell from its options. Procedures read this, never
// the window's controls.
struct OperationRequest {
    Operation operation = Operation::Flash;
    LinkKind link = LinkKind::Serial;
    std::uint32_t hardwareId = 0; // the controller behind the broker
    QString firmwarePath;         // the chosen, checked firmware file
    QString header;               // the file's header text; its first word is the signature
    // A broker that has no controller with the id yet is asked again until it has.
    bool waitForController = false;
    bool trace = false; // every write of the storage upload on the terminal
    // A flash: how the loader restarts the controller before the banner wait (FlashRestart).
    int restart = 0;
    StoreOptions store;
    QList<QByteArray> commands; // a send: the texts exactly as they go out

    // The request the window's controls describe for an operation.
    static OperationRequest fromForm(Operation operation, const FormModel& form,
                                     const LoaderState& state);
};
