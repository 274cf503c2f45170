#include "cli/ShellOutput.h"

#include "cli/FleetChannel.h"
#include "cli/ShellPlatform.h"
#include "core/StoppableIo.h"

#include <QFile>
#include <QMutex>
#include <atomic>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#else
#include <io.h>
#endif

namespace {

// Standard output and error, by descriptor: dropped from once a write to them was given up.
std::atomic<bool> abandoned[3];

QMutex& processWriters() {
    static QMutex mutex;
    return mutex;
}

int descriptorOf(FILE* stream) {
    return stream == stderr ? 2 : 1;
}

} // namespace

void ShellOutput::writeToProcess(FILE* stream, const QByteArray& bytes) {
    const int fd = descriptorOf(stream);
    const QMutexLocker lock(&processWriters());
    bool stopped = false;
    const int grace = abandoned[fd].load() ? 0 : kStopGraceMs;
    StoppableIo::writeAll(
        fd, bytes, [] { return ShellPlatform::stopReceived(); }, stopped, grace);
    if (stopped) {
        abandoned[fd].store(true);
    }
}

void ShellOutput::write(FILE* stream, const QByteArray& bytes) {
    if (FleetChannel* channel = FleetChannel::current()) {
        channel->write(stream, bytes); // a fleet member's: the fleet shows it
        return;
    }
    writeToProcess(stream, bytes);
}

void ShellOutput::print(FILE* stream, const QString& text) {
    write(stream, text.toLocal8Bit());
}

void ShellOutput::report(const QString& subcommand, const QString& text) {
    print(stderr, QStringLiteral("velkor-cli %1: %2\n").arg(subcommand, text));
}

bool ShellOutput::isStandardOutput(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat named {};
    struct stat out {};
    return ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           ::fstat(STDOUT_FILENO, &out) == 0 && named.st_dev == out.st_dev &&
           named.st_ino == out.st_ino;
#else
    return path == QStringLiteral("/dev/stdout");
#endif
}
