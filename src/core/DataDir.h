#pragma once

#include <QString>

// Where the settings, the journal and the terminal logs live. A program unpacked into a folder
// of its own (and the build tree) keeps them beside the executable; an installed program keeps
// them in the per-user folder $XDG_CONFIG_HOME/velkor (~/.config/velkor), so that nothing is
// written into an installation folder. An explicit folder overrides both. The application and
// the shell front end share it, so there is one journal.
namespace DataDir {

// True when dir may hold the data: the folder exists, belongs to the current user, is writable,
// and is no installation folder (under /usr, /opt, /bin, /sbin, /snap, /nix or /app, or named
// "bin" as PREFIX/bin is). Symbolic links are followed first.
bool isOwnFolder(const QString& dir);

// The data folder without creating it.
QString locate(const QString& overrideDir = QString());

// The data folder, created when missing.
QString resolve(const QString& overrideDir = QString());

// The rule above in a few lines, for the programs' --help.
QString helpText();

} // namespace DataDir
