#include "FileText.h"

#include "LoaderError.h"
#include "StoppableIo.h"

#include <QFile>
#include <algorithm>
#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kReadPiece = qint64(4) * 1024 * 1024;

QString openError(const QString& path, const QString& reason) {
    return QStringLiteral("Не удается открыть файл \"%1\": %2").arg(path, reason);
}

// One file open for reading: a regular one read at once, anything else (a FIFO, a pipe, a
// device) as its data comes, without ever blocking inside the system.
class TextSource {
public:
    explicit TextSource(const QString& path);
    ~TextSource();
    TextSource(const TextSource&) = delete;
    TextSource& operator=(const TextSource&) = delete;

    // The size of a regular file; 0 for anything that has no size known beforehand.
    qint64 expectedSize() const { return regular_ ? size_ : 0; }
    bool regular() const { return regular_; }
    // Reads up to room bytes; 0 at the end. Raises LoaderError when the read fails or stops.
    qint64 read(char* into, qint64 room);

private:
    [[noreturn]] void fail(const QString& reason) const {
        throw LoaderError(openError(path_, reason));
    }

    QString path_;
    bool regular_ = true;
    qint64 size_ = 0;
#ifdef Q_OS_UNIX
    int fd_ = -1;
#else
    QFile file_;
#endif
};

#ifdef Q_OS_UNIX
// Opened without waiting: a FIFO's open would otherwise wait for a writer inside the system.
TextSource::TextSource(const QString& path) : path_(path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        fail(qt_error_string(errno));
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        fail(qt_error_string(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        fail(qt_error_string(EISDIR));
    }
    regular_ = S_ISREG(info.st_mode);
    size_ = qint64(info.st_size);
}

TextSource::~TextSource() {
    ::close(fd_);
}

qint64 TextSource::read(char* into, qint64 room) {
    for (;;) {
        if (!regular_) {
            const auto wait =
                StoppableIo::waitFor(fd_, false, [] { return StoppableIo::stopRequested(); });
            if (wait == StoppableIo::Wait::Stopped) {
                fail(QStringLiteral("чтение прервано"));
            }
            if (wait == StoppableIo::Wait::Failed) {
                fail(qt_error_string(errno));
            }
        }
        const ssize_t got = ::read(fd_, into, std::size_t(room));
        if (got >= 0) {
            return qint64(got);
        }
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(qt_error_string(errno));
        }
    }
}
#else
TextSource::TextSource(const QString& path) : path_(path), file_(path) {
    if (!file_.open(QIODevice::ReadOnly)) {
        fail(file_.errorString());
    }
    regular_ = !file_.isSequential();
    size_ = file_.size();
}

TextSource::~TextSource() = default;

qint64 TextSource::read(char* into, qint64 room) {
    const qint64 got = file_.read(into, room);
    if (got < 0) {
        fail(file_.errorString());
    }
    return got;
}
#endif

} // namespace

QString fileTooLargeReason(qint64 limit) {
    constexpr qint64 kMb = 1024 * 1024;
    const QString size = limit % kMb == 0 ? QStringLiteral("%1 МБ").arg(limit / kMb)
                                          : QStringLiteral("%1 КБ").arg(limit / 1024);
    const QString reason = QStringLiteral("файл больше %1").arg(size);
    return limit == kMaxTextFileBytes ? reason + QStringLiteral(", больше любой прошивки") : reason;
}

QByteArray readFileText(const QString& path, qint64 limit) {
    if (path.isEmpty()) {
        throw LoaderError(openError(path, QStringLiteral("не указано имя файла")));
    }
    TextSource source(path);
    // A regular file is read in one piece of its size; a device or a pipe in fixed pieces.
    const qint64 expected = source.expectedSize();
    if (expected > limit) {
        throw FileTooLargeError(openError(path, fileTooLargeReason(limit)));
    }
    QByteArray text;
    while (true) {
        const qsizetype before = text.size();
        const qint64 room =
            std::min(std::max(kReadPiece, expected + 1 - before), limit + 1 - before);
        text.resize(before + qsizetype(room));
        const qint64 got = source.read(text.data() + before, room);
        text.resize(before + qsizetype(got));
        const qsizetype nul = text.indexOf('\0', before);
        if (nul >= 0) {
            text.truncate(nul + 1);
            return text;
        }
        if (text.size() > limit) {
            throw FileTooLargeError(openError(path, fileTooLargeReason(limit)));
        }
        // A regular file reads short only at its end.
        if (got == 0 || (got < room && source.regular())) {
            text.squeeze();
            return text;
        }
    }
}
