#pragma once

#include "LoaderError.h"

#include <QByteArray>
#include <QString>

// The most a text file read by the loader may hold. The controller's storage memory holds about
// 2 MB and no controller's flash takes more than a few: a larger file is no firmware file, and
// reading it (a device file, a disk image, an endless pipe) would only exhaust memory.
constexpr qint64 kMaxTextFileBytes = qint64(8) * 1024 * 1024;

// A file refused for its size: it can be read, but is no firmware file.
class FileTooLargeError : public LoaderError {
public:
    using LoaderError::LoaderError;
};

// The text of a file: read in pieces up to the first NUL byte, so that an endless device such
// as /dev/zero ends the read at once. A NUL read is kept as the text's last byte: the caller
// learns that the file did not end there and refuses it rather than use part of it. A FIFO, a
// pipe or a terminal is read as its writer sends, and a stop (StoppableIo) ends the wait for
// it. Raises LoaderError naming the file and the reason when it cannot be opened or read (or
// the read was stopped), and FileTooLargeError, before reading it, when its text exceeds limit
// bytes.
QByteArray readFileText(const QString& path, qint64 limit = kMaxTextFileBytes);

// The reason of FileTooLargeError for the limit: "файл больше 64 КБ", "файл больше 8 МБ, больше
// любой прошивки" for the firmware's.
QString fileTooLargeReason(qint64 limit);
