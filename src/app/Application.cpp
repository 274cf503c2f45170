#include "Application.h"

#include "AboutBox.h"
#include "FileChoice.h"
#include "HeaderEditing.h"
#include "Icons.h"
#include "InitCommandsWindow.h"
#include "MainWindow.h"
#include "QtDialogs.h"
#include "terminal/TerminalWindow.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QGuiApplication>

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
    : settings(dataDir), parts(runtime, chooseDialogs(dialogs, qtDialogs_), dataDir) {
    main = std::make_unique<MainWindow>(loader, form, binding, settings);
    terminal = std::make_unique<TerminalWindow>(loader);
    about = std::make_unique<AboutBox>();
    form.DopCmdMemo = settings.readInitCommands(form.DopCmdMemo);
    init = std::make_unique<InitCommandsWindow>(form);
    main->setSecondaryWindows(terminal.get(), about.get(), init.get());
    if (qtDialogs_) {
        qtDialogs_->setParent(main.get());
    }
    wireFirmware();
    QGuiApplication::setWindowIcon(Icons::icon(Icons::Application));

    const auto sync = [this] { syncAll(); };
    main->onHandled = sync;
    terminal->onHandled = sync;
    main->onClosed = [this] {
        runtime.setTerminating(true);
        loader.terminal.visible = false;
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
    // The operation the close cancelled ends at its next look, from the event loop (the close
    // may have come from a box the operation showed): it ends before anything goes.
    if (loader.driver.launched()) {
        loader.driver.cancel(QString());
        loader.driver.awaitLaunched();
    }
    runtime.setBeforeEvents({});
    settings.writeInitCommands(form.DopCmdMemo);
    // The windows go in reverse order of creation; the terminal window writes its log.
    init.reset();
    about.reset();
    terminal.reset();
    main.reset();
}

void Application::show() {
    main->show();
    syncAll();
}

void Application::syncAll() {
    binding.sync();
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

void Application::wireFirmware() {
    main->firmware.btnOpenClick = [this](bool fromButton) {
        btnOpenClick(form, loader, fromButton);
    };
    main->firmware.btnHeaderEditClick = [this] { btnHeaderEditClick(form); };
    main->firmware.edNameChange = [this] { edNameChange(form); };
    main->ports.tbAutoComListClick = [this] { ports.tbAutoComListClick(); };
}
