#pragma once

#include <QString>

// Where the settings, the journal and the terminal logs live: the executable's folder when it
// is writable, otherwise the per-user configuration folder; an explicit folder overrides both.
// The application and the shell front end share it, so there is one journal.
namespace DataDir {
QString resolve(const QString& overrideDir = QString());
} // namespace DataDir
