#pragma once

#include <QString>
#include <optional>

// Questions asked on the controlling terminal, for answers no option gave.
namespace TerminalPrompt {

// Standard input is a terminal, so a question can be asked there.
bool available();
// Prints the prompt on standard error and reads one line from standard input, without echo
// when secret. Nothing when standard input ended or could not be read.
std::optional<QString> ask(const QString& prompt, bool secret);

} // namespace TerminalPrompt
