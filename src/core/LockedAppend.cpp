#include "LockedAppend.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStorageInfo>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX

// A wait for the lock in the kernel's queue, on a thread of its own so that the writer can give
// up: the thread holds its own copy of the descriptor, and when the writer gave up first, the
// lock it gets at last goes with that copy at once.
struct LockWait {
    enum class State { Waiting, Locked, Failed, GivenUp };
    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Waiting;
    int error = 0;
};

void waitInQueue(const std::shared_ptr<LockWait>& wait, int copy) {
    int result = 0;
    do {
        result = ::flock(copy, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    const int error = result == 0 ? 0 : errno;
    std::lock_guard<std::mutex> lock(wait->mutex);
    if (wait->state == LockWait::State::Waiting) {
        wait->state = result == 0 ? LockWait::State::Locked : LockWait::State::Failed;
        wait->error = error;
    }
    ::close(copy); // the lock stays with the writer's descriptor, or goes when it gave up
    wait->changed.notify_all();
}

qint64 sizeOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? qint64(info.st_size) : -1;
}

// Waits for the lock while the file grows; false with the reason when the holder stalled.
bool lockInTurn(int fd, int stallMs, QString& reason) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        reason = qt_error_string(errno);
        return false;
    }
    auto wait = std::make_shared<LockWait>();
    std::thread(waitInQueue, wait, copy).detach();
    QElapsedTimer sinceGrowth;
    sinceGrowth.start();
    qint64 size = sizeOf(fd);
    std::unique_lock<std::mutex> lock(wait->mutex);
    for (;;) {
        wait->changed.wait_for(lock, std::chrono::milliseconds(50),
                               [&] { return wait->state != LockWait::State::Waiting; });
        if (wait->state == LockWait::State::Locked) {
            return true;
        }
        if (wait->state == LockWait::State::Failed) {
            reason = qt_error_string(wait->error);
            return false;
        }
        if (const qint64 now = sizeOf(fd); now != size) {
            size = now;
            sinceGrowth.restart();
        } else if (sinceGrowth.elapsed() >= stallMs) {
            wait->state = LockWait::State::GivenUp;
            reason = QStringLiteral("занят другим процессом, который %1 с ничего в него не пишет")
                         .arg(stallMs / 1000.0, 0, 'f', 1);
            return false;
        }
    }
}

// Locks the file; a file system without locks is written as it is (one append is still one
// write).
bool lock(int fd, int stallMs, QString& reason) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    if (errno == EWOULDBLOCK) {
        return lockInTurn(fd, stallMs, reason);
    }
    return errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL;
}

QString writeError(const QString& path, int code) {
    if (code == ENOSPC) {
        const QStorageInfo disk(path);
        return QStringLiteral("на диске нет свободного места (%1)").arg(disk.rootPath());
    }
    return qt_error_string(code);
}

bool endsInTornLine(int fd) {
    const qint64 size = sizeOf(fd);
    char last = '\n';
    return size > 0 && ::pread(fd, &last, 1, off_t(size - 1)) == 1 && last != '\n';
}

// One write, and its rest only when the system took less (a full disk, a size limit): then the
// next write names the reason.
QString writeAll(int fd, const QString& path, QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = ::write(fd, bytes.data() + done, std::size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return writeError(path, written < 0 ? errno : ENOSPC);
        }
        done += qsizetype(written);
    }
    return QString();
}

#endif

} // namespace

QString LockedAppend::append(const QString& path, QByteArrayView bytes, bool ownLine, int stallMs) {
#ifdef Q_OS_UNIX
    // Opened without waiting: a FIFO in the file's place would hold the open until a reader came.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno == ENXIO ? QStringLiteral("%1 не обычный файл").arg(path)
                              : qt_error_string(errno);
    }
    struct stat info {};
    QString reason;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = QStringLiteral("%1 не обычный файл").arg(path);
    } else if (lock(fd, stallMs, reason)) {
        reason = ownLine && endsInTornLine(fd) ? writeAll(fd, path, "\n" + bytes.toByteArray())
                                               : writeAll(fd, path, bytes);
    }
    ::close(fd); // and the lock with it
    return reason;
#else
    Q_UNUSED(stallMs);
    Q_UNUSED(ownLine);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) ||
        file.write(bytes.data(), bytes.size()) != bytes.size()) {
        return file.errorString();
    }
    return QString();
#endif
}
