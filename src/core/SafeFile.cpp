#include "SafeFile.h"

#include "LoaderError.h"

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

// A FIFO, a device or a pipe, opened to be written as it is. A FIFO is opened without waiting
// for a reader: with none the open fails at once, where a plain open would hold the program
// past any stop signal. The writes then wait for the reader as usual.
std::unique_ptr<QFile> openSpecial(const QString& path) {
    auto file = std::make_unique<QFile>(path);
#ifdef Q_OS_UNIX
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
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw LoaderError(fileWriteError(path, file->errorString()));
    }
#else
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw LoaderError(fileWriteError(path, file->errorString()));
    }
#endif
    return file;
}

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
    return info.isSymLink() ? path : info.filePath();
}

bool isSpecialFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

SafeFileWriter::SafeFileWriter(const QString& path) : path_(path), direct_(isSpecialFile(path)) {
    if (path.isEmpty()) {
        throw LoaderError(fileWriteError(path, QStringLiteral("не указано имя файла")));
    }
    if (direct_) {
        file_ = openSpecial(path);
        return;
    }
    file_ = std::make_unique<QSaveFile>(writeTarget(path));
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw LoaderError(fileWriteError(path_, file_->errorString()));
    }
}

void SafeFileWriter::write(QByteArrayView bytes) {
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
    if (direct_) {
        file_->close();
        return;
    }
    auto* save = static_cast<QSaveFile*>(file_.get());
    if (!save->commit()) {
        fail(save->errorString());
    }
}

void SafeFileWriter::fail(const QString& reason) {
    if (!direct_) {
        static_cast<QSaveFile*>(file_.get())->cancelWriting();
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
