#include "SafeFile.h"

#include "LoaderError.h"
#include "StoppableIo.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// A FIFO, a device or a pipe, opened to be written as it is. A FIFO is opened without waiting
// for a reader: with none the open fails at once, where a plain open would hold the program
// past any stop signal. The descriptor stays non-blocking, as it is ours alone: the writes wait
// for the reader in slices a stop can end (StoppableIo).
int openSpecial(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        struct stat info {};
        const int code = errno;
        const bool fifo = ::stat(name.constData(), &info) == 0 && S_ISFIFO(info.st_mode);
        throw LoaderError(fileWriteError(
            path, code == ENXIO && fifo ? QStringLiteral("канал не читает ни один процесс")
                                        : qt_error_string(code)));
    }
    return fd;
}
#endif

} // namespace

QString fileWriteError(const QString& path, const QString& reason) {
    return QStringLiteral("Не удается записать файл \"%1\": %2. Файл оставлен без изменений.")
        .arg(path, reason);
}

QString writeTarget(const QString& path) {
    constexpr int kMostLinks = 40;
    QFileInfo info(path);
    for (int links = 0; links < kMostLinks && info.isSymLink(); ++links) {
        info.setFile(info.symLinkTarget());
    }
    return info.isSymLink() ? QString() : info.filePath();
}

bool isSpecialFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

SafeFileWriter::SafeFileWriter(const QString& path) : path_(path), direct_(isSpecialFile(path)) {
    if (path.isEmpty()) {
        throw LoaderError(fileWriteError(path, QStringLiteral("не указано имя файла")));
    }
    const QString target = writeTarget(path);
    if (target.isEmpty()) {
        throw LoaderError(fileWriteError(path, QStringLiteral("ссылки указывают друг на друга")));
    }
#ifdef Q_OS_UNIX
    if (direct_) {
        fd_ = openSpecial(path);
        return;
    }
#endif
    file_ = std::make_unique<QSaveFile>(target);
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw LoaderError(fileWriteError(path_, file_->errorString()));
    }
}

SafeFileWriter::~SafeFileWriter() {
#ifdef Q_OS_UNIX
    if (fd_ >= 0) {
        ::close(fd_);
    }
#endif
}

void SafeFileWriter::write(QByteArrayView bytes) {
#ifdef Q_OS_UNIX
    if (fd_ >= 0) {
        bool stopped = false;
        errno = 0;
        const qint64 written = StoppableIo::writeAll(
            fd_, bytes, [] { return StoppableIo::stopRequested(); }, stopped);
        if (stopped) {
            fail(QStringLiteral("запись прервана"));
        }
        if (written < bytes.size()) {
            fail(qt_error_string(errno != 0 ? errno : EIO));
        }
        return;
    }
#endif
    // A short write is retried with the rest, so a real failure shows with its reason.
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file_->write(bytes.data() + done, bytes.size() - done);
        if (written <= 0) {
            fail(file_->errorString());
        }
        done += qsizetype(written);
    }
}

void SafeFileWriter::commit() {
    if (!file_) {
        return; // written directly, as it went
    }
    if (!file_->commit()) {
        fail(file_->errorString());
    }
}

void SafeFileWriter::fail(const QString& reason) {
    if (file_) {
        file_->cancelWriting();
    }
    throw LoaderError(fileWriteError(path_, reason));
}

bool writeFileSafely(const QString& path, QByteArrayView bytes, QString* error) {
    try {
        SafeFileWriter writer(path);
        writer.write(bytes);
        writer.commit();
        return true;
    } catch (const LoaderError& e) {
        if (error != nullptr) {
            *error = e.text();
        }
        return false;
    }
}
