#include "app/Application.h"
#include "app/Icons.h"
#include "app/QtTranslations.h"
#include "app/Screenshots.h"
#include "core/DataDir.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr int kExitUsage = 64;

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
    parser.addOption({QStringLiteral("version"),
                      QStringLiteral("Print the version and the data folder, and quit.")});
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

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

// The help and the version are printed without the window's application: that needs a
// display, and would fail for want of one before they are printed.
int printHelpOrVersion(int argc, char* argv[]) {
    QCoreApplication shellApp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor"));
    QCommandLineParser parser;
    describeOptions(parser);
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf(
            "velkor %s\ndata folder: %s\n", VELKOR_VERSION,
            DataDir::locate(parser.value(QStringLiteral("data-dir"))).toLocal8Bit().constData());
        return 0;
    }
    parser.process(shellApp); // prints the help and ends the program
    return 0;
}

// The options Qt's application takes for itself (and removes before the program's own are
// read): "-platform offscreen", "-style fusion", "-reverse" ...
bool isQtOption(const QString& name) {
    static const QStringList qtOwn = {
        QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"),    QStringLiteral("display"),
        QStringLiteral("geometry"),        QStringLiteral("style"),
        QStringLiteral("stylesheet"),      QStringLiteral("reverse"),
        QStringLiteral("session"),         QStringLiteral("name"),
        QStringLiteral("widgetcount"),     QStringLiteral("nograb"),
        QStringLiteral("dograb"),          QStringLiteral("sync"),
        QStringLiteral("qmljsdebugger")};
    return qtOwn.contains(name);
}

// What the command line asks that needs no window: the help, the version, or a bad option
// reported (exit 64) instead of the window failing to start for want of a display. Nothing when
// the window is to run; a line that holds Qt's own options is read once Qt has taken them.
std::optional<int> answerWithoutWindow(int argc, char* argv[]) {
    QCommandLineParser parser;
    describeOptions(parser);
    const bool parsed = parser.parse(argumentsOf(argc, argv));
    const QStringList unknown = parser.unknownOptionNames();
    if (std::any_of(unknown.begin(), unknown.end(), isQtOption)) {
        return std::nullopt;
    }
    if (!parsed) {
        std::fprintf(stderr, "velkor: %s\nvelkor --help lists the options.\n",
                     parser.errorText().toLocal8Bit().constData());
        return kExitUsage;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        return printHelpOrVersion(argc, argv);
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (const std::optional<int> answered = answerWithoutWindow(argc, argv)) {
        return *answered;
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
