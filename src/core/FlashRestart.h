#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// How the flash restarts the controller before it waits for the restart banner. By default a
// person does (power or reset); behind a broker nobody can, so the loader may do it itself:
// "RESET" through the controller's command interpreter (any link), or a pulse on the serial
// port's DTR or RTS line, for adapters wired to the reset pin.
namespace FlashRestart {

enum Kind { None = 0, Command = 1, Dtr = 2, Rts = 3 };

// "command", "dtr", "rts"; empty for None.
QString name(int kind);
// The kind of a name: "none", "command", "dtr" or "rts".
std::optional<Kind> parse(const QString& name);
// The choices as the window lists them, in the order of Kind.
QStringList captions();

} // namespace FlashRestart
