#include "Screenshots.h"

#include "Application.h"
#include "MainWindow.h"
#include "terminal/TerminalWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

namespace {

void save(QWidget& window, const QString& path) {
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
    }
}

void settle(Application& app) {
    app.syncAll();
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

void takeAll(Application& app, const QString& folder) {
    QDir().mkpath(folder);
    const QDir dir(folder);
    Loader& loader = app.loader;
    // Each connection page, with a different operation chosen, so the option boxes of the
    // storage load show on one of them.
    const int modes[] = {kModeFlash, kModeStore, kModeReadBack};
    const char* const names[] = {"main-serial.png", "main-tcp.png", "main-broker.png"};
    for (int page = 0; page < 3; ++page) {
        loader.driver.N1Click(modes[page]);
        settle(app);
        save(*app.main, dir.filePath(QLatin1String(names[page])));
        loader.driver.ToolButton1Click();
    }
    loader.driver.N1Click(kModeFlash);
    TerminalModel& terminal = loader.form.terminal;
    terminal.visible = true;
    terminal.sendPanelVisible = true;
    terminal.edit1 = QStringLiteral("VER");
    for (const char* line :
         {"VER", "LUMET5 v5.12 build 2024.03", "OK", "PAGECOUNT", "PAGECOUNT=512", "OK"}) {
        loader.addTerminalLine(QByteArray(line));
    }
    settle(app);
    save(*app.terminal, dir.filePath(QStringLiteral("terminal.png")));
    terminal.visible = false;
    app.main->close();
    QCoreApplication::quit();
}

} // namespace

void Screenshots::takeAndQuit(Application& app, const QString& folder) {
    QTimer::singleShot(300, [&app, folder] { takeAll(app, folder); });
}
