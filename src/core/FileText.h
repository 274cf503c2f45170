#pragma once

#include "LoaderError.h"

#include <QByteArray>
#include <QString>

// The most a text file read by the loader may hold. A firmware file is a few megabytes; the
// limit only keeps a wrong choice (a device file, a disk image) from exhausting memory.
constexpr qint64 kMaxTextFileBytes = qint64(512) * 1024 * 1024;

// A file refused for its size: it can be read, but is no firmware file.
class FileTooLargeError : public LoaderError {
public:
    using LoaderError::LoaderError;
};

// The text of a file: read in pieces up to the first NUL byte, so that an endless device such
// as /dev/zero ends the read at once. A NUL read is kept as the text's last byte: the caller
// learns that the file did not end there and refuses it rather than use part of it. Raises
// LoaderError naming the file and the reason when it cannot be opened or read, and
// FileTooLargeError when its text exceeds limit bytes.
QByteArray readFileText(const QString& path, qint64 limit = kMaxTextFileBytes);
