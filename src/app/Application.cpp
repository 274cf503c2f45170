#include "Application.h"

#include "AboutBox.h"
#include "InitCommandsWindow.h"
#include "MainWindow.h"
#include "QtDialogs.h"
#include "core/Links.h"
#include "terminal/TerminalWindow.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

namespace {

Dialogs& chooseDialogs(Dialogs* given, std::unique_ptr<QtDialogs>& own) {
    if (given != nullptr) {
        return *given;
    }
    own = std::make_unique<QtDialogs>();
    return *own;
}

} // namespace

Application::Application(const QString& dataDir, Dialogs* dialogs)
    : settings(dataDir), loader(runtime, chooseDialogs(dialogs, qtDialogs_), dataDir) {
    wireConnections();
    main = std::make_unique<MainWindow>(loader, settings);
    terminal = std::make_unique<TerminalWindow>(loader);
    about = std::make_unique<AboutBox>();
    loader.form.DopCmdMemo = settings.readInitCommands(loader.form.DopCmdMemo);
    init = std::make_unique<InitCommandsWindow>(loader.form);
    main->setSecondaryWindows(terminal.get(), about.get(), init.get());
    if (qtDialogs_) {
        qtDialogs_->setParent(main.get());
    }
    wireFirmware();

    const auto sync = [this] { syncAll(); };
    main->onHandled = sync;
    terminal->onHandled = sync;
    main->onClosed = [this] {
        runtime.setTerminating(true);
        loader.form.terminal.visible = false;
        syncAll();
        if (onQuit) {
            onQuit();
        }
    };
    runtime.setBeforeEvents(sync);
    // Timer ticks and receptions handled by the main event loop change the model too: the
    // windows follow whenever the loop is about to wait for new events.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, main.get(), sync);
    }
}

Application::~Application() {
    runtime.setBeforeEvents({});
    settings.writeInitCommands(loader.form.DopCmdMemo);
    // The windows go in reverse order of creation; the terminal window writes its log.
    init.reset();
    about.reset();
    terminal.reset();
    main.reset();
    loader.links = nullptr;
    links_.reset();
}

void Application::show() {
    main->show();
    syncAll();
}

void Application::syncAll() {
    if (main) {
        main->syncFromModel();
    }
    if (terminal) {
        terminal->syncFromModel();
    }
    if (init) {
        init->syncFromModel();
    }
}

void Application::wireConnections() {
    // The serial and TCP layers are plugged in here once the connection code provides them;
    // until then no connection opens and an operation ends with the port unavailable.
}

void Application::wireFirmware() {
    // The firmware file handlers (file choice, header editing) are plugged in here.
}
