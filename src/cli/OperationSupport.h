#pragma once

#include "cli/CliResult.h"

#include "core/OperationRequest.h"
#include "core/Task.h"

#include <QString>

class CliSession;
class Loader;

// What the subcommands that run a whole operation share: choosing the firmware file as the
// file button does, and starting the operation with the main button.
namespace OperationSupport {

// Selects the file and checks it (its status texts go where the session sends them). Empty
// when the file was taken; else the result of the refusal (65), of a file that cannot be read
// (74), or of a stop signal that came while it was read (a FIFO), with its message printed on
// standard error.
std::optional<CliResult> selectFirmware(CliSession& session, const QString& subcommand,
                                        const QString& path);

// The result of a run a stop signal ended before the controller was asked anything: its exit
// code, the message on standard error, and in the result object why there is no journal entry.
CliResult stoppedBeforeAsking(int signal, const QString& subcommand);

// The request of an operation or query as the shell's options (applied to the session's
// loader) describe it.
OperationRequest request(CliSession& session, Operation operation);

// Runs the request through the driver, as every operation and query runs, and returns its
// result as the shell reports it: a question no option answered is a usage error (64), and a
// connection that did not open is named on standard error. The thread runs other work while
// the operation waits.
Task<CliResult> runOperation(CliSession& session, QString subcommand, OperationRequest request);
// The same for an operation as the options describe it.
Task<CliResult> runOperation(CliSession& session, QString subcommand, Operation operation);

} // namespace OperationSupport
