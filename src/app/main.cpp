#include "app/Application.h"
#include "app/Icons.h"
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
    // The build renders the application's icon into the PNG of the desktop entry with this.
    QCommandLineOption writeIcon(QStringLiteral("write-icon"),
                                 QStringLiteral("Save the application's icon as a PNG and quit."),
                                 QStringLiteral("FILE"));
    writeIcon.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(dataDir);
    parser.addOption(screenshots);
    parser.addOption(writeIcon);
    parser.process(qtApp);
    if (parser.isSet(writeIcon)) {
        // The drawing's own size (32 pixels), which is where the desktop entry's icon goes.
        const QPixmap icon = Icons::icon(Icons::Application).pixmap(32, 32);
        return !icon.isNull() && icon.save(parser.value(writeIcon), "PNG") ? 0 : 1;
    }

    Application app(DataDir::resolve(parser.value(dataDir)));
    app.onQuit = [] { QCoreApplication::quit(); };
    app.show();
    if (parser.isSet(screenshots)) {
        Screenshots::takeAndQuit(app, parser.value(screenshots));
    }
    return QApplication::exec();
}
