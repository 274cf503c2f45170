#pragma once

#include "cli/CliResult.h"

#include <QString>

class CliSession;
class Loader;

// What the subcommands that run a whole operation share: choosing the firmware file as the
// file button does, and starting the operation with the main button.
namespace OperationSupport {

// Selects the file and checks it (its status texts go where the session sends them). Empty
// when the file was taken; else the result of the refusal (65), or of a file that cannot be
// read (74), with its message printed on standard error.
std::optional<CliResult> selectFirmware(Loader& loader, const QString& subcommand,
                                        const QString& path);

// Runs the operation of the mode through the driver, as a click on the main button does, and
// returns its result as the shell reports it: a question no option answered is a usage error
// (64), and a connection that did not open is named on standard error.
CliResult runOperation(CliSession& session, const QString& subcommand, int mode);

} // namespace OperationSupport
