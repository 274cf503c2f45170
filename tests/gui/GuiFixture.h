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

// Connection steps that record what the loader asks of them: the serial port and the TCP
// client "open" at once (setting the flags as the real handlers do), writes are kept.
class RecordingLinks : public Links {
public:
    explicit RecordingLinks(Loader& loader) : loader_(loader) {}

    Task<void> open(LinkSettings settings) override {
        switch (settings.kind) {
        case LinkKind::Serial:
            openSerial();
            break;
        case LinkKind::Tcp:
            openClient(QStringLiteral("tcp"));
            break;
        case LinkKind::Broker:
            openClient(QStringLiteral("broker"));
            break;
        }
        co_return;
    }
    void write(LinkKind kind, const QByteArray& text) override { writes.append({kind, text}); }
    void close(LinkKind kind) override {
        if (kind == LinkKind::Serial) {
            releaseDevices();
        } else {
            deactivateClient();
        }
    }
    void closeAll() override {
        releaseDevices();
        deactivateClient();
    }
    void releaseDevices() override {
        if (serialOpen) {
            serialOpen = false;
            loader_.state.ConnectionOpen = false;
            loader_.output.showLinkOpen(false);
            ++closes;
        }
    }

    QString openError;
    bool serialOpen = false;
    bool clientActive = false;
    int closes = 0;
    QStringList opened; // "serial", "tcp" or "broker", in order
    QList<std::pair<LinkKind, QByteArray>> writes;

private:
    void openSerial() {
        if (!openError.isEmpty()) {
            throw LoaderError(openError);
        }
        serialOpen = true;
        opened.append(QStringLiteral("serial"));
        loader_.state.ConnectionOpen = true;
        loader_.output.showLinkOpen(true);
    }
    void deactivateClient() {
        if (clientActive) {
            clientActive = false;
            loader_.state.ConnectionOpen = false;
            ++closes;
        }
    }
    void openClient(const QString& kind) {
        clientActive = true;
        opened.append(kind);
        loader_.state.ConnectionOpen = true;
    }

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
    FormModel& form() { return app->form; }
    // Runs the event loop until the operation the main button launched has ended.
    void awaitOperation() { QTRY_VERIFY_WITH_TIMEOUT(!app->loader.driver.launched(), 300000); }
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
        // Without a window manager (a bare virtual X server) nobody activates a new window.
        app->main->activateWindow();
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
