// The mirror between the main window's widgets and the form model: syncFromModel() brings the
// widgets in line with the model; the edit signals write what the user typed or chose back.

#include "MainWindow.h"

#include "AboutBox.h"
#include "ElidedLabel.h"
#include "FormBinding.h"
#include "FormModel.h"
#include "InitCommandsWindow.h"
#include "MainWindowTexts.h"
#include "Mirror.h"
#include "WaitBar.h"
#include "core/Loader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>

void MainWindow::syncFromModel() {
    if (syncing_) {
        return;
    }
    syncing_ = true;
    openLink_.follow();
    followConnectionKind();
    syncToolBar();
    syncConnectionGroup();
    syncFirmwareGroup();
    syncStatusBar();
    syncMenus();
    syncWaitBarClock();
    syncing_ = false;
}

// Another connection kind shown with no link open: panel 2 speaks of it, not of the kind left
// behind ("/dev/ttyS0:закрыт" on the TCP/IP page).
void MainWindow::followConnectionKind() {
    const LinkKind kind = form_.connectionKind();
    if (kind == shownKind_) {
        return;
    }
    shownKind_ = kind;
    const LoaderState& s = loader_.state;
    if (!s.ConnectionOpen && !s.OperationActive) {
        loader_.setStatus(2, OpenLink::closedState(form_));
    }
}

void MainWindow::syncWaitBarClock() {
    const bool running = loader_.state.OperationActive;
    if (waitBarClock_->isActive() != running) {
        if (running) {
            waitBarClock_->start();
        } else {
            waitBarClock_->stop();
        }
    }
}

void MainWindow::syncMenus() {
    // The storage load sets its own wait times (30000 ms per piece, more after the
    // finalisation) and leaves them in force: the caption names the value in force.
    form_.showAnswerTimeout(loader_.state.AnswerTimeoutMs);
    // Each item with its first letter as its mnemonic (В, О, Б, П: one each).
    const std::pair<QAction*, const MenuItem*> items[] = {{mnuTimeOut, &form_.mnuTimeOut},
                                                          {mnuDebug, &form_.mnuDebug},
                                                          {mnuFastExchange, &form_.mnuFastExchange},
                                                          {mnuAnswerGap, &form_.mnuAnswerGap}};
    for (const auto& [action, item] : items) {
        MenuItem shown = *item;
        shown.caption = MainWindowTexts::menuText(item->caption);
        Mirror::action(action, shown);
    }
}

void MainWindow::syncToolBar() {
    const FormModel& f = form_;
    Mirror::button(ToolButton1, f.ToolButton1);
    Mirror::button(btnConnect, f.btnConnect);
    // The drop-down arrow belongs to the start button; the cancel button is a plain one.
    QMenu* menu = f.btnConnect.dropDown ? popupMenu1_ : nullptr;
    if (btnConnect->menu() != menu) {
        btnConnect->setMenu(menu);
        btnConnect->setPopupMode(menu != nullptr ? QToolButton::MenuButtonPopup
                                                 : QToolButton::DelayedPopup);
    }
    UnitSign->setFullText(MainWindowTexts::display(loader_.output.deviceType()));
    // The bar has no hint of its own in the model: it says what it is and how long it waits.
    Control waitBar = f.pbWaitAnswer;
    waitBar.hint = MainWindowTexts::waitBarHint() + QStringLiteral("\r\n") + f.mnuTimeOut.caption;
    Mirror::progress(pbWaitAnswer, waitBar, loader_.output.waitBar());
    Mirror::state(btnExit, f.btnExit);
    btnExit->setToolTip(MainWindowTexts::exitHint());
}

void MainWindow::syncConnectionGroup() {
    const FormModel& f = form_;
    Mirror::state(Panel1, f.Panel1);
    if (Panel1->title() != f.Panel1.caption) {
        Panel1->setTitle(f.Panel1.caption);
    }
    if (TypeOfConnectGrp->currentIndex() != linkKindNumber(f.TypeOfConnectGrpPage)) {
        TypeOfConnectGrp->setCurrentIndex(linkKindNumber(f.TypeOfConnectGrpPage));
    }
    syncPortBox();
    Mirror::check(tbAutoComList, f.tbAutoComList);
    Mirror::combo(cmbBaudRate, f.cmbBaudRate);
    Mirror::edit(IPEdit, f.IPEdit);
    Mirror::spin(PortNum, f.PortNum);
    Mirror::edit(BrokerIPEdt, f.BrokerIPEdt);
    Mirror::spin(BrokerPortEdt, f.BrokerPortEdt);
    Mirror::spin(HARDWARE_IDEdt, f.HARDWARE_IDEdt);
}

// A port name too long for its box shows only in part; the tooltip then holds it whole.
void MainWindow::syncPortBox() {
    const ComboControl& port = form_.cmbComPort;
    const QLineEdit* edit = cmbComPort->lineEdit();
    if (edit == nullptr || edit->fontMetrics().horizontalAdvance(port.text) <= edit->width()) {
        Mirror::combo(cmbComPort, port);
        return;
    }
    ComboControl shown = port;
    shown.hint += QStringLiteral("\r\n") + port.text;
    Mirror::combo(cmbComPort, shown);
}

void MainWindow::syncFirmwareGroup() {
    const FormModel& f = form_;
    Mirror::state(Panel3, f.Panel3);
    if (Panel3->title() != loader_.output.firmwareGroupCaption()) {
        Panel3->setTitle(loader_.output.firmwareGroupCaption());
    }
    const QString shownName = edName->text();
    Mirror::edit(edName, f.edName);
    Mirror::button(btnOpen, f.btnOpen);
    Mirror::edit(edtUnitSign, f.edtUnitSign);
    const QVariant editingStyle = edtUnitSign->property("editingStyle");
    if (!editingStyle.isValid() || editingStyle.toBool() != f.edtUnitSign.enabled) {
        // While the header is edited the field has the tooltip colour, else it is greyed.
        edtUnitSign->setProperty("editingStyle", f.edtUnitSign.enabled);
        edtUnitSign->setStyleSheet(f.edtUnitSign.enabled
                                       ? QStringLiteral("QLineEdit { background: #ffffe1; }")
                                       : QString());
    }
    Mirror::button(btnHeaderEdit, f.btnHeaderEdit);
    Mirror::check(cbFinalization, f.cbFinalization);
    Mirror::check(cbWaitConnectLUMET, f.cbWaitConnectLUMET);
    Mirror::check(cbDopInitCmd, f.cbDopInitCmd);
    Mirror::check(cbVerifyStored, f.cbVerifyStored);
    Mirror::combo(cmbRestart, f.cmbRestart);
    if (shownName != f.edName.text && firmware.edNameChange) {
        // The field's change handler runs whenever its text changes.
        firmware.edNameChange();
        Mirror::button(btnHeaderEdit, f.btnHeaderEdit);
    }
}

void MainWindow::syncStatusBar() {
    const LoaderOutput& shown = loader_.output;
    statusPanels_[0]->setFullText(MainWindowTexts::display(shown.status(0)));
    syncLinkPanel();
    statusPanels_[3]->setFullText(MainWindowTexts::display(shown.status(3)));
    Mirror::progress(ProgressBar1, form_.ProgressBar1, shown.progressBar());
}

// Panel 2: while a link is open, where it leads; else the connection's last state text.
void MainWindow::syncLinkPanel() {
    const QString state = MainWindowTexts::display(loader_.output.status(2));
    if (!openLink_.isOpen()) {
        statusPanels_[2]->setFullText(state);
        return;
    }
    QString note = QStringLiteral("Открыто соединение: ") + openLink_.description();
    if (!state.isEmpty()) {
        note += QLatin1Char('\n') + state;
    }
    statusPanels_[2]->setFullText(openLink_.shortText(), note);
}

void MainWindow::connectEdits() {
    FormModel& f = form_;
    connect(cmbComPort, &QComboBox::activated, this,
            [&f](int index) { f.cmbComPort.select(index); });
    connect(cmbComPort, &QComboBox::editTextChanged, this, [this, &f](const QString& text) {
        if (syncing_) {
            return;
        }
        f.cmbComPort.text = text;
        // A typed text keeps the selection only while it still names the selected entry.
        if (f.cmbComPort.selectedText() != text) {
            f.cmbComPort.itemIndex = -1;
        }
    });
    connect(cmbRestart, &QComboBox::activated, this,
            [&f](int index) { f.cmbRestart.select(index); });
    connect(cmbBaudRate, &QComboBox::activated, this,
            [&f](int index) { f.cmbBaudRate.select(index); });
    connect(cmbBaudRate, &QComboBox::editTextChanged, this, [this, &f](const QString& text) {
        if (syncing_) {
            return;
        }
        f.cmbBaudRate.text = text;
        if (f.cmbBaudRate.selectedText() != text) {
            f.cmbBaudRate.itemIndex = -1;
        }
    });
    connect(IPEdit, &QLineEdit::textEdited, this, [&f](const QString& t) { f.IPEdit.text = t; });
    connect(BrokerIPEdt, &QLineEdit::textEdited, this,
            [&f](const QString& t) { f.BrokerIPEdt.text = t; });
    connect(edtUnitSign, &QLineEdit::textEdited, this,
            [&f](const QString& t) { f.edtUnitSign.text = t; });
    const std::pair<QSpinBox*, SpinControl*> spins[] = {{PortNum, &f.PortNum},
                                                        {BrokerPortEdt, &f.BrokerPortEdt},
                                                        {HARDWARE_IDEdt, &f.HARDWARE_IDEdt}};
    for (const auto& [spin, control] : spins) {
        SpinControl* target = control;
        connect(spin, &QSpinBox::valueChanged, this, [this, target](int value) {
            if (!syncing_) {
                target->text = QString::number(value);
            }
        });
    }
    connect(mnuDebug, &QAction::triggered, this, [&f](bool on) { f.mnuDebug.checked = on; });
    connect(mnuFastExchange, &QAction::triggered, this,
            [&f](bool on) { f.mnuFastExchange.checked = on; });
}
