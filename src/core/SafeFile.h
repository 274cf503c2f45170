#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>
#include <memory>

// Writes a whole file so that it ends up either complete or unchanged. The bytes go to a
// temporary file in the same folder, which replaces the file only when every byte was written.
// The temporary is written unbuffered: through a buffer, a short write at commit time (a full
// disk, a file size limit) can pass unnoticed and a truncated file would replace the original.
// A target that exists and is not a regular file (a FIFO, a terminal, /dev/stdout, /dev/null)
// is written into directly: replacing it would turn a device into a plain file. A symbolic link
// is written through (writeTarget).
class SafeFileWriter {
public:
    // Raises LoaderError naming the file and the system's reason when it cannot be created.
    explicit SafeFileWriter(const QString& path);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Writes all of the bytes or raises LoaderError; after a failure the file is left as it
    // was and the temporary is removed. Into a FIFO, a pipe or a terminal the write waits as
    // its reader takes the bytes, and a stop (StoppableIo) ends the wait as a failure.
    void write(QByteArrayView bytes);
    // Puts the new file in place, or raises LoaderError leaving the old one.
    void commit();

private:
    [[noreturn]] void fail(const QString& reason);

    QString path_;
    std::unique_ptr<QSaveFile> file_; // the temporary of a regular file
    int fd_ = -1;                     // a special file, written directly
    bool direct_ = false;
};

// The file a write of path ends up in: symbolic links followed to their end, also to a target
// that does not exist yet, which the write creates; the path itself when it is no link; empty
// when the links go round in a loop (nothing can be written there). The link stays a link and
// its target is replaced.
QString writeTarget(const QString& path);

// The path names something that exists and is neither a regular file nor a folder: a device,
// a FIFO, a socket.
bool isSpecialFile(const QString& path);

// The text of a write failure: names the file and the reason, and says it was left as it was.
QString fileWriteError(const QString& path, const QString& reason);

// Writes the bytes as the whole file through SafeFileWriter. Returns false with the message
// when it could not.
bool writeFileSafely(const QString& path, QByteArrayView bytes, QString* error = nullptr);
