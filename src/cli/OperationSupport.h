#pragma once

#include <QString>

class CliSession;
class Loader;

// What the subcommands that run a whole operation share: choosing the firmware file as the
// file button does, and starting the operation with the main button.
namespace OperationSupport {

// Selects the file and checks it (its status texts go where the session sends them). False
// when the file was refused; a file that cannot be read raises LoaderError.
bool selectFirmware(Loader& loader, const QString& path);

// Runs the operation of the mode through the driver, as a click on the main button does.
// Returns whether the procedure was reached (false: the connection did not open, or Ctrl-C
// came first).
bool runOperation(CliSession& session, int mode);

// Prints "velkor-cli NAME: TEXT" on standard error.
void report(const QString& subcommand, const QString& text);

} // namespace OperationSupport
