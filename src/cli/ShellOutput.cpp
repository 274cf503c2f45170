#include "cli/ShellOutput.h"

#include "cli/FleetChannel.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

void ShellOutput::write(FILE* stream, const QByteArray& bytes) {
    if (FleetChannel* channel = FleetChannel::current()) {
        channel->write(stream, bytes); // a fleet member's: the fleet shows it
        return;
    }
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void ShellOutput::print(FILE* stream, const QString& text) {
    if (FleetChannel* channel = FleetChannel::current()) {
        channel->write(stream, text.toLocal8Bit());
        return;
    }
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
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
