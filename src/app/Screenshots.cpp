#include "Screenshots.h"

#include "Application.h"
#include "MainWindow.h"
#include "terminal/TerminalWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
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

void wait(Application& app, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        settle(app);
    }
}

void choose(Application& app, LinkKind page, Operation mode) {
    for (int i = 0; i < 3 && app.form.TypeOfConnectGrpPage != page; ++i) {
        app.binding.ToolButton1Click();
    }
    app.binding.N1Click(mode);
    settle(app);
}

// Each connection page with an operation chosen; the storage load with its options.
void takePages(Application& app, const QDir& dir) {
    const struct {
        LinkKind page;
        Operation mode;
        const char* name;
    } pages[] = {{LinkKind::Serial, Operation::Flash, "main-serial.png"},
                 {LinkKind::Tcp, Operation::Flash, "main-tcp.png"},
                 {LinkKind::Broker, Operation::ReadBack, "main-broker.png"}};
    for (const auto& shot : pages) {
        choose(app, shot.page, shot.mode);
        save(*app.main, dir.filePath(QLatin1String(shot.name)));
    }
    choose(app, LinkKind::Tcp, Operation::Store);
    FormModel& form = app.form;
    form.cbFinalization.checked = true;
    form.cbDopInitCmd.enabled = true;
    form.cbWaitConnectLUMET.checked = true;
    settle(app);
    save(*app.main, dir.filePath(QStringLiteral("main-storage.png")));
    form.cbFinalization.checked = form.cbWaitConnectLUMET.checked = false;
    form.cbDopInitCmd.enabled = false;
}

// A flash over TCP/IP to the device named in the settings, pictured when it is under way.
void takeRunningFlash(Application& app, const QDir& dir) {
    if (app.form.edName.text.isEmpty()) {
        std::fprintf(stderr, "screenshots: no firmware file named; no picture of a flash\n");
        return;
    }
    choose(app, LinkKind::Tcp, Operation::Flash);
    const BarState& progress = app.loader.output.progressBar();
    bool taken = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!taken && progress.maximum > 1 && progress.position * 5 >= progress.maximum * 2) {
            taken = true;
            app.syncAll();
            save(*app.main, dir.filePath(QStringLiteral("main-flash.png")));
        }
    });
    watch.start(20);
    app.main->findChild<QToolButton*>(QStringLiteral("btnConnect"))->click();
    app.loader.driver.awaitLaunched();
    if (!taken) {
        std::fprintf(stderr, "screenshots: the flash did not get under way: %s\n",
                     qPrintable(app.loader.output.status(3)));
    }
}

// The terminal on the link the flash left open: the user's command and the reply.
void takeTerminal(Application& app, const QDir& dir) {
    TerminalModel& terminal = app.loader.terminal;
    terminal.visible = true;
    terminal.lines.clear();
    settle(app);
    if (app.loader.state.ConnectionOpen) {
        app.loader.exchange.SendCommand("VER\r");
        wait(app, 600);
    }
    save(*app.terminal, dir.filePath(QStringLiteral("terminal.png")));
    terminal.visible = false;
}

// Nobody answers a message box on a virtual display: one that opens is reported and closed, so
// that the run goes on.
void closeDialogs(QTimer& timer) {
    QObject::connect(&timer, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            const auto* message = qobject_cast<QMessageBox*>(box);
            std::fprintf(stderr, "screenshots: closed a dialog: %s\n",
                         qPrintable(message != nullptr ? message->text() : box->windowTitle()));
            box->close();
        }
    });
    timer.start(2000);
}

void takeAll(Application& app, const QString& folder) {
    QDir().mkpath(folder);
    const QDir dir(folder);
    QTimer dialogs;
    closeDialogs(dialogs);
    // Without a window manager the window is never activated; its first activation reloads
    // the firmware file.
    if (app.loader.state.FirstActivation) {
        app.main->FormActivate();
    }
    takePages(app, dir);
    takeRunningFlash(app, dir);
    takeTerminal(app, dir);
    app.main->close();
    QCoreApplication::quit();
}

} // namespace

void Screenshots::takeAndQuit(Application& app, const QString& folder) {
    QTimer::singleShot(300, [&app, folder] { takeAll(app, folder); });
}
