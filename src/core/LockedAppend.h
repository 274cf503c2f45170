#pragma once

#include <QByteArrayView>
#include <QString>

// Appends one piece of bytes to a regular file shared by writers that run at once (processes,
// and threads of one process): under the kernel's exclusive lock on the file, in one write, so
// pieces never mix. The lock is waited for in the kernel's queue for as long as the writers
// ahead take turns, which shows as the file growing; only a holder that keeps the lock without
// writing for stallMs makes the append give up. The file is created when missing, and opened
// only when it is a regular file: a FIFO, a device or a folder in its place is refused at once
// instead of holding the writer.
namespace LockedAppend {

constexpr int kStallMs = 5000;

// Empty on success, else why the bytes were not appended (the system's words, or "занят").
// With ownLine the bytes start a line of their own: after a writer that died in the middle of
// a line, a line break goes first.
QString append(const QString& path, QByteArrayView bytes, bool ownLine = false,
               int stallMs = kStallMs);

} // namespace LockedAppend
