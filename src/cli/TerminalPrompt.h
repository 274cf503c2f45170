#pragma once

#include <QString>
#include <optional>

// Questions asked on the controlling terminal, for answers no option gave.
namespace TerminalPrompt {

// Standard input is a terminal, so a question can be asked there.
bool available();
// Prints the prompt on standard error and reads one line from standard input, without echo
// when secret (the echo comes back on every way out). Nothing when standard input ended or
// could not be read, or when a stop signal came while it waited: then stopped is set.
std::optional<QString> ask(const QString& prompt, bool secret, bool& stopped);

} // namespace TerminalPrompt
