// The main window's steps (show, activation, close) and the handlers of its own buttons.

#include "MainWindow.h"

#include "AboutBox.h"
#include "FormBinding.h"
#include "FormModel.h"
#include "InitCommandsWindow.h"
#include "MainWindowTexts.h"
#include "ScreenPlacement.h"
#include "WaitBar.h"
#include "core/Links.h"
#include "core/Loader.h"
#include "core/LoaderError.h"
#include "core/WaitMenu.h"
#include "terminal/TerminalWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>

void MainWindow::run(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        handled();
        loader_.dialogs.showError(errorText(e));
    }
    handled();
}

void MainWindow::handled() {
    if (onHandled) {
        onHandled();
    } else {
        syncFromModel();
    }
}

void MainWindow::connectClicks() {
    FormModel& f = form_;
    connect(ToolButton1, &QToolButton::clicked, this,
            [this] { run([this] { binding_.ToolButton1Click(); }); });
    connect(btnConnect, &QToolButton::clicked, this, [this] { btnConnectClicked(); });
    connect(ToolButton5, &QToolButton::clicked, this, [this] { ToolButton5Click(); });
    connect(ToolButton9, &QToolButton::clicked, this, [this] { ToolButton9Click(); });
    connect(btnExit, &QToolButton::clicked, this, [this] { btnExitClick(); });
    connect(mnuTimeOut, &QAction::triggered, this,
            [this] { run([this] { WaitMenu::mnuTimeOutClick(loader_); }); });
    connect(mnuAnswerGap, &QAction::triggered, this,
            [this] { run([this] { WaitMenu::mnuAnswerGapClick(loader_); }); });
    pbWaitAnswer->onMouseDown = [this] {
        run([this] { loader_.exchange.pbWaitAnswerMouseDown(); });
    };
    for (QWidget* owner :
         {static_cast<QWidget*>(connectKindLabel_), static_cast<QWidget*>(pbWaitAnswer)}) {
        connect(owner, &QWidget::customContextMenuRequested, this,
                [this, owner](QPoint at) { popupMenu2_->popup(owner->mapToGlobal(at)); });
    }
    // From the keyboard, the exchange menu opens under the focused wait bar.
    pbWaitAnswer->onMenuKey = [this] {
        popupMenu2_->popup(pbWaitAnswer->mapToGlobal(QPoint(0, pbWaitAnswer->height())));
    };
    connect(tbAutoComList, &QCheckBox::clicked, this, [this, &f](bool on) {
        f.tbAutoComList.checked = on;
        run([this] {
            if (ports.tbAutoComListClick) {
                ports.tbAutoComListClick();
            }
        });
    });
    connect(cbFinalization, &QCheckBox::clicked, this, [this, &f](bool on) {
        f.cbFinalization.checked = on;
        cbFinalizationClick();
    });
    connect(cbWaitConnectLUMET, &QCheckBox::clicked, this, [this, &f](bool on) {
        f.cbWaitConnectLUMET.checked = on;
        handled();
    });
    connect(cbVerifyStored, &QCheckBox::clicked, this, [this, &f](bool on) {
        f.cbVerifyStored.checked = on;
        handled();
    });
    connect(cbDopInitCmd, &QCheckBox::clicked, this, [this, &f](bool on) {
        f.cbDopInitCmd.checked = on;
        cbDopInitCmdClick();
    });
    connectFirmwareClicks();
    connectMenuKeys();
}

// The file button and the header button, through the handlers the application plugs in.
void MainWindow::connectFirmwareClicks() {
    connect(btnOpen, &QToolButton::clicked, this, [this] {
        run([this] {
            if (firmware.btnOpenClick) {
                firmware.btnOpenClick(true);
            }
        });
    });
    connect(btnHeaderEdit, &QToolButton::clicked, this, [this] {
        run([this] {
            if (firmware.btnHeaderEditClick) {
                firmware.btnHeaderEditClick();
            }
        });
    });
}

void MainWindow::btnConnectClicked() {
    if (!loader_.state.OperationActive && !loader_.state.ConnectionOpen) {
        openLink_.opening();
    }
    run([this] { binding_.btnConnectClick(); });
}

// The operation the main button launched has ended: the controls are back.
void MainWindow::operationEnded() {
    resumeTerminalFlush();
    handled();
}

// The end of an operation stops Timer3, which is also the terminal's flush of text received
// outside an operation: on a link the operation left open, replies would collect unseen. Once
// the operation is over, the flush runs again while the link stays open.
void MainWindow::resumeTerminalFlush() {
    const LoaderState& s = loader_.state;
    if (s.ConnectionOpen && !s.OperationActive && !loader_.Timer3->enabled()) {
        loader_.Timer3->start();
    }
}

// The operation menu opens from the keyboard as a drop-down list does, with F4 or Alt+Down,
// from any control of the window: the keys are the window's shortcuts, so that no button or
// check box takes them for moving the focus. A focused drop-down list keeps them for its own
// list.
void MainWindow::connectMenuKeys() {
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_F4), QKeySequence(Qt::ALT | Qt::Key_Down)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] { openOperationMenu(); });
    }
}

void MainWindow::openOperationMenu() {
    QWidget* focused = QApplication::focusWidget();
    auto* list = qobject_cast<QComboBox*>(focused);
    if (list == nullptr && focused != nullptr) {
        list = qobject_cast<QComboBox*>(focused->parentWidget()); // its text field has the focus
    }
    if (list != nullptr) {
        list->showPopup();
        return;
    }
    if (btnConnect->menu() != nullptr && btnConnect->isEnabled()) {
        btnConnect->showMenu();
    }
}

bool MainWindow::event(QEvent* event) {
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate) {
        FormActivate();
    }
    return result;
}

void MainWindow::showEvent(QShowEvent* event) {
    if (!shown_) {
        shown_ = true;
        const WindowPlacement stored = settings_.restoreForm(form_, loader_);
        // The position is the client area's: the frame around it is known only once a window
        // manager has drawn it, so a frame origin restored as a client origin, or the other way
        // round, moves the window by the title bar's height at every start.
        if (stored.stored) {
            const QMargins frame(geometry().left() - frameGeometry().left(),
                                 geometry().top() - frameGeometry().top(),
                                 frameGeometry().right() - geometry().right(),
                                 frameGeometry().bottom() - geometry().bottom());
            setGeometry(
                QRect(ScreenPlacement::keepOnScreen(stored.position, size(), frame), size()));
        }
        FormShow();
    }
    QMainWindow::showEvent(event);
}

void MainWindow::FormShow() {
    settings_.readSettings(form_, loader_, [this] {
        if (ports.tbAutoComListClick) {
            ports.tbAutoComListClick();
        }
    });
    handled();
}

void MainWindow::FormActivate() {
    const QString version =
        about_ != nullptr ? about_->versionText() : QStringLiteral("Версия 1.97");
    setWindowTitle(MainWindowTexts::captionPrefix() + version + QLatin1Char(')'));
    loader_.fileDialog.initialDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    LoaderState& s = loader_.state;
    if (!s.FirstActivation) {
        return;
    }
    // Cleared first: a message box shown by the reload activates the window again when it
    // closes, and that activation must not start the first-activation steps over.
    s.FirstActivation = false;
    FormModel& f = form_;
    if (f.btnConnect.imageIndex == kIconCancel) {
        f.btnConnect.imageIndex = kIconFlash;
        s.OperationMode = Operation::Flash;
    }
    reloadStoredFile();
    binding_.applyOptionVisibility();
    handled();
}

void MainWindow::reloadStoredFile() {
    // No file named (every first run): nothing to reload and nothing to report. A named file
    // that cannot be read is reported once.
    if (form_.edName.text.isEmpty() || !firmware.btnOpenClick) {
        return;
    }
    run([this] { firmware.btnOpenClick(false); });
}

bool MainWindow::FormCloseQuery() {
    LoaderState& s = loader_.state;
    if (s.OperationActive) {
        if (!loader_.dialogs.confirm(MainWindowTexts::closeQuestion())) {
            return false;
        }
        loader_.driver.cancel(QString());
    }
    settings_.storeForm(form_, loader_, placement());
    return true;
}

void MainWindow::FormClose() {
    try {
        if (loader_.links != nullptr) {
            loader_.links->releaseDevices();
        }
    } catch (const std::exception&) {
        // Closing goes on whatever the port says.
    }
    settings_.writeSettings(form_, loader_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    closing_ = true;
    FormClose();
    event->accept();
    handled();
    if (onClosed) {
        onClosed();
    }
}

WindowPlacement MainWindow::placement() const {
    WindowPlacement p;
    p.stored = true;
    p.position = geometry().topLeft();
    p.minimized = isMinimized();
    return p;
}

void MainWindow::ToolButton5Click() {
    try {
        if (!loader_.state.ConnectionOpen) {
            openLink_.opening();
            binding_.openConnection();
            if (!loader_.state.ConnectionOpen) {
                // A TCP connection comes up (or fails, saying why) after this returns.
                loader_.setStatus(2, QStringLiteral("Устанавливается соединение с ") +
                                         OpenLink::address(form_) + QStringLiteral("..."));
            }
        }
    } catch (const std::exception& e) {
        handled();
        loader_.dialogs.showError(errorText(e));
        handled();
        return;
    }
    loader_.terminal.visible = true;
    handled();
    if (terminal_ != nullptr) {
        terminal_->raise();
        terminal_->activateWindow();
    }
}

void MainWindow::ToolButton9Click() {
    if (about_ != nullptr) {
        about_->show();
        about_->raise();
    }
}

void MainWindow::btnExitClick() {
    if (loader_.dialogs.confirm(MainWindowTexts::exitQuestion())) {
        close();
    }
}

void MainWindow::cbFinalizationClick() {
    FormModel& f = form_;
    f.cbDopInitCmd.enabled = f.cbFinalization.checked;
    handled();
}

void MainWindow::cbDopInitCmdClick() {
    if (form_.cbDopInitCmd.checked && init_ != nullptr) {
        init_->show();
        init_->raise();
    }
    handled();
}
