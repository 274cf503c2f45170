#include "cli/ShellOutput.h"

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
