#include "cli/CliApp.h"

#include <QCoreApplication>

namespace {

// The arguments whose bytes do not survive decoding into text and back: a file of that name
// could not be opened under the decoded one.
QStringList undecodableArguments(int argc, char* argv[]) {
    QStringList lossy;
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        const QString text = QString::fromLocal8Bit(raw);
        if (text.toLocal8Bit() != raw) {
            lossy.append(text);
        }
    }
    return lossy;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor"));
    return CliApp(QCoreApplication::arguments(), undecodableArguments(argc, argv)).run();
}
