#include "app/Application.h"
#include "app/Icons.h"
#include "app/QtTranslations.h"
#include "app/Screenshots.h"
#include "core/DataDir.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

namespace {

// An option the build, the screenshots and the start-up benchmark use, left out of --help.
QCommandLineOption hidden(const QString& name, const QString& description,
                          const QString& valueName = QString(),
                          const QString& defaultValue = QString()) {
    QCommandLineOption option(name, description, valueName, defaultValue);
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}

void describeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral(
            "Flashes, stores and reads back firmware of LUMET and DORN controllers.\n\n") +
        DataDir::helpText().trimmed());
    parser.addHelpOption();
    parser.addOption({QStringLiteral("data-dir"),
                      QStringLiteral("Folder of the settings, journal and logs."),
                      QStringLiteral("DIR")});
    parser.addOption(hidden(QStringLiteral("screenshots"),
                            QStringLiteral("Save pictures of the windows and quit."),
                            QStringLiteral("DIR")));
    // The build renders the application's icon into the PNG of the desktop entry with this.
    parser.addOption(hidden(QStringLiteral("write-icon"),
                            QStringLiteral("Save the application's icon as a PNG and quit."),
                            QStringLiteral("FILE")));
    parser.addOption(hidden(QStringLiteral("icon-size"),
                            QStringLiteral("Pixels of the icon --write-icon saves (32)."),
                            QStringLiteral("N"), QStringLiteral("32")));
    // For the start-up benchmark: once the main window has been shown and the first events
    // after it handled, print the milliseconds since main() began and quit.
    parser.addOption(hidden(QStringLiteral("startup-time"),
                            QStringLiteral("Print the start-up time and quit.")));
}

// The desktop entry's icon, at each size the icon theme has a folder for.
int writeIcon(const QCommandLineParser& parser) {
    const QPixmap icon =
        Icons::render(Icons::Application, parser.value(QStringLiteral("icon-size")).toInt());
    return !icon.isNull() && icon.save(parser.value(QStringLiteral("write-icon")), "PNG") ? 0 : 1;
}

void printStartupTimeAndQuit(QApplication& qtApp, const QElapsedTimer& sinceStart) {
    QTimer::singleShot(0, &qtApp, [&sinceStart] {
        std::printf("startup_ms: %lld\n", sinceStart.elapsed());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
}

bool asksForHelp(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "-h" || argument == "-?" || argument == "--help" ||
            argument == "--help-all") {
            return true;
        }
    }
    return false;
}

// The help is printed without the window's application: that needs a display, and would fail
// for want of one before the help is printed.
int printHelp(int argc, char* argv[]) {
    QCoreApplication shellApp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor"));
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(shellApp); // prints the help and ends the program
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (asksForHelp(argc, argv)) {
        return printHelp(argc, argv);
    }
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velkor"));
    QtTranslations::install();

    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(qtApp);
    if (parser.isSet(QStringLiteral("write-icon"))) {
        return writeIcon(parser);
    }

    Application app(DataDir::resolve(parser.value(QStringLiteral("data-dir"))));
    app.onQuit = [] { QCoreApplication::quit(); };
    app.show();
    if (parser.isSet(QStringLiteral("screenshots"))) {
        Screenshots::takeAndQuit(app, parser.value(QStringLiteral("screenshots")));
    }
    if (parser.isSet(QStringLiteral("startup-time"))) {
        printStartupTimeAndQuit(qtApp, sinceStart);
    }
    return QApplication::exec();
}
