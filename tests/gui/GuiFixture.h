#pragma once

#include "ScriptedDialogs.h"
#include "app/Application.h"
#include "app/InitCommandsWindow.h"
#include "app/MainWindow.h"
#include "core/Links.h"
#include "core/LoaderError.h"
#include "terminal/TerminalWindow.h"

#include <QAction>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

// Connection steps that record what the loader asks of them: the serial port "opens" at once
// (setting the flags as the real after-open handler does), writes are kept.
class RecordingLinks : public Links {
public:
    explicit RecordingLinks(Loader& loader) : loader_(loader) {}

    void openSerial() override {
        if (!openError.isEmpty()) {
            throw LoaderError(openError);
        }
        serialOpen = true;
        loader_.state.ConnectionOpen = true;
        loader_.form.terminal.sendPanelVisible = true;
    }
    void openTcp() override {}
    void openBroker() override {}
    void write(int kind, const QByteArray& text) override { writes.append({kind, text}); }
    bool serialPortOpen() const override { return serialOpen; }
    void closeSerialPort() override {
        serialOpen = false;
        loader_.state.ConnectionOpen = false;
        loader_.form.terminal.sendPanelVisible = false;
        ++closes;
    }
    void deactivateTcpClient() override {}

    QString openError;
    bool serialOpen = false;
    int closes = 0;
    QList<std::pair<int, QByteArray>> writes;

private:
    Loader& loader_;
};

// The application on a temporary data folder, with scripted dialogs.
struct GuiFixture {
    explicit GuiFixture(const QString& folder = QString()) {
        dataDir = folder.isEmpty() ? temp.path() : folder;
        app = std::make_unique<Application>(dataDir, &dialogs);
        // The application mirrors the model whenever its event loop falls idle; QTest's waits
        // never let the loop block, so the fixture mirrors on a short timer instead.
        mirror.setInterval(10);
        QObject::connect(&mirror, &QTimer::timeout, [this] {
            if (app) {
                app->syncAll();
            }
        });
        mirror.start();
    }

    Loader& loader() { return app->loader; }
    MainWindow& window() { return *app->main; }
    TerminalWindow& terminal() { return *app->terminal; }

    template <typename W> W* find(const char* name) {
        W* widget = app->main->findChild<W*>(QLatin1String(name));
        if (widget == nullptr) {
            widget = app->terminal->findChild<W*>(QLatin1String(name));
        }
        return widget;
    }

    // Shows the main window and runs its first activation.
    void start() {
        app->show();
        if (!QTest::qWaitForWindowActive(app->main.get(), 2000)) {
            app->main->FormActivate();
        }
    }

    // Ends the run as the program does: the windows go, the terminal log is written.
    void finish() { app.reset(); }

    QTimer mirror;
    QTemporaryDir temp;
    QString dataDir;
    ScriptedDialogs dialogs;
    std::unique_ptr<Application> app;
};
