#include "app/Application.h"
#include "app/Screenshots.h"
#include "core/DataDir.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velkor"));

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Folder of the settings, journal and logs."),
                                     QStringLiteral("DIR"));
    QCommandLineOption screenshots(QStringLiteral("screenshots"),
                                   QStringLiteral("Save pictures of the windows and quit."),
                                   QStringLiteral("DIR"));
    screenshots.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(dataDir);
    parser.addOption(screenshots);
    parser.process(qtApp);

    Application app(DataDir::resolve(parser.value(dataDir)));
    app.onQuit = [] { QCoreApplication::quit(); };
    app.show();
    if (parser.isSet(screenshots)) {
        Screenshots::takeAndQuit(app, parser.value(screenshots));
    }
    return QApplication::exec();
}
