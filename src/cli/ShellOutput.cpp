#include "cli/ShellOutput.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

void ShellOutput::write(FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void ShellOutput::print(FILE* stream, const QString& text) {
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
