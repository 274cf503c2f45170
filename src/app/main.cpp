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

int main(int argc, char* argv[]) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velkor"));
    QtTranslations::install();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Flashes, stores and reads back firmware of LUMET and DORN controllers.\n\n") +
        DataDir::helpText().trimmed());
    parser.addHelpOption();
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Folder of the settings, journal and logs."),
                                     QStringLiteral("DIR"));
    QCommandLineOption screenshots(QStringLiteral("screenshots"),
                                   QStringLiteral("Save pictures of the windows and quit."),
                                   QStringLiteral("DIR"));
    screenshots.setFlags(QCommandLineOption::HiddenFromHelp);
    // The build renders the application's icon into the PNG of the desktop entry with this.
    QCommandLineOption writeIcon(QStringLiteral("write-icon"),
                                 QStringLiteral("Save the application's icon as a PNG and quit."),
                                 QStringLiteral("FILE"));
    writeIcon.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption iconSize(QStringLiteral("icon-size"),
                                QStringLiteral("Pixels of the icon --write-icon saves (32)."),
                                QStringLiteral("N"), QStringLiteral("32"));
    iconSize.setFlags(QCommandLineOption::HiddenFromHelp);
    // For the start-up benchmark: once the main window has been shown and the first events
    // after it handled, print the milliseconds since main() began and quit.
    QCommandLineOption startupTime(QStringLiteral("startup-time"),
                                   QStringLiteral("Print the start-up time and quit."));
    startupTime.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(dataDir);
    parser.addOption(screenshots);
    parser.addOption(writeIcon);
    parser.addOption(iconSize);
    parser.addOption(startupTime);
    parser.process(qtApp);
    if (parser.isSet(writeIcon)) {
        // The desktop entry's icon, at each size the icon theme has a folder for.
        const QPixmap icon = Icons::render(Icons::Application, parser.value(iconSize).toInt());
        return !icon.isNull() && icon.save(parser.value(writeIcon), "PNG") ? 0 : 1;
    }

    Application app(DataDir::resolve(parser.value(dataDir)));
    app.onQuit = [] { QCoreApplication::quit(); };
    app.show();
    if (parser.isSet(screenshots)) {
        Screenshots::takeAndQuit(app, parser.value(screenshots));
    }
    if (parser.isSet(startupTime)) {
        QTimer::singleShot(0, &qtApp, [&sinceStart] {
            std::printf("startup_ms: %lld\n", sinceStart.elapsed());
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    }
    return QApplication::exec();
}
