#include "OperationDriver.h"

#include "Links.h"
#include "Loader.h"
#include "LoaderError.h"
#include "TimeFormat.h"

void OperationDriver::setProcedure(int mode, Procedure procedure) {
    procedures_[mode] = std::move(procedure);
}

OperationDriver::Procedure OperationDriver::procedure(int mode) const {
    const auto it = procedures_.find(mode);
    return it != procedures_.end() ? it->second : Procedure();
}

void OperationDriver::btnConnectClick() {
    if (loader_.state.OperationActive) {
        cancelOperation();
    } else {
        startOperation();
    }
}

void OperationDriver::lockControls() {
    FormModel& f = loader_.form;
    f.ToolButton1.enabled = false;
    f.Panel1.enabled = false;
    f.cmbComPort.enabled = false;
    f.btnOpen.enabled = false;
    f.btnHeaderEdit.enabled = false;
    f.btnExit.enabled = false;
    f.btnConnect.caption = UiTexts::cancelButton();
    f.btnConnect.imageIndex = kIconCancel;
    f.btnConnect.dropDown = false;
}

void OperationDriver::startOperation() {
    LoaderState& s = loader_.state;
    lockControls();
    s.OperationActive = true;
    loader_.Timer3->stop();
    loader_.form.ProgressBar1.setPosition(0);
    loader_.setStatus(3, UiTexts::openingPort());
    // Every operation starts with a clean verdict, also on a connection left open by the
    // previous one, so an earlier failure is never reported for this run.
    s.OperationFailed = false;
    try {
        runOperation();
    } catch (const std::exception& e) {
        loader_.setStatus(3, errorText(e));
        CloseConnection();
    }
    RestoreControls();
}

void OperationDriver::runOperation() {
    LoaderState& s = loader_.state;
    if (!s.ConnectionOpen) {
        OpenConnection();
        s.OperationFailed = false;
        if (!s.ConnectionOpen) {
            throw LoaderError(UiTexts::portUnavailable());
        }
        loader_.Timer3->start();
    }
    s.OperationStart = loader_.runtime.now();
    runProcedure();
    reportOutcome();
}

void OperationDriver::runProcedure() {
    const auto it = procedures_.find(loader_.state.OperationMode);
    if (it != procedures_.end() && it->second) {
        it->second();
    }
}

void OperationDriver::reportOutcome() {
    const LoaderState& s = loader_.state;
    if (s.OperationFailed) {
        loader_.setStatus(3, UiTexts::operationFailed());
    } else {
        loader_.setStatus(3, UiTexts::operationDoneIn() +
                                 TimeFormat::elapsed(s.OperationStart, loader_.runtime.now()));
    }
    try {
        loader_.journal.WriteJournal(loader_.form.Status[3]);
    } catch (const std::exception& e) {
        loader_.setStatus(3, UiTexts::journalError().arg(errorText(e)));
    }
}

void OperationDriver::cancelOperation() {
    RestoreControls();
    loader_.setStatus(3, UiTexts::cancelledByUser());
    RestoreControls();
}

void OperationDriver::RestoreControls() {
    FormModel& f = loader_.form;
    f.ToolButton1.enabled = true;
    f.Panel1.enabled = true;
    loader_.state.OperationActive = false;
    f.btnHeaderEdit.enabled = true;
    loader_.Timer3->stop();
    f.btnExit.enabled = true;
    f.cmbComPort.enabled = true;
    f.btnOpen.enabled = true;
    f.btnConnect.caption = UiTexts::startButton();
    f.btnConnect.imageIndex = loader_.state.OperationMode;
    f.btnConnect.dropDown = true;
}

void OperationDriver::OpenConnection() {
    loader_.Timer3->start();
    if (loader_.links != nullptr) {
        switch (loader_.form.ToolButton1.imageIndex) {
        case kIconSerial:
            loader_.links->openSerial();
            break;
        case kIconTcp:
            loader_.links->openTcp();
            break;
        case kIconBroker:
            loader_.links->openBroker();
            break;
        default:
            break;
        }
    }
    if (!loader_.state.ConnectionOpen) {
        loader_.Timer3->stop();
    }
}

void OperationDriver::CloseConnection() {
    RestoreControls();
    Links* links = loader_.links;
    if (links == nullptr || loader_.form.terminal.visible) {
        return;
    }
    const int icon = loader_.form.ToolButton1.imageIndex;
    if (icon == kIconSerial) {
        if (links->serialPortOpen()) {
            links->closeSerialPort();
        }
    } else if (icon == kIconTcp || icon == kIconBroker) {
        links->deactivateTcpClient();
    }
}

void OperationDriver::ToolButton1Click() {
    FormModel& f = loader_.form;
    switch (f.ToolButton1.imageIndex) {
    case kIconSerial:
        f.ToolButton1.imageIndex = kIconTcp;
        f.TypeOfConnectGrpPage = kTcp;
        break;
    case kIconTcp:
        f.ToolButton1.imageIndex = kIconBroker;
        f.TypeOfConnectGrpPage = kBroker;
        break;
    default:
        f.ToolButton1.imageIndex = kIconSerial;
        f.TypeOfConnectGrpPage = kSerial;
        break;
    }
    applyOptionVisibility();
}

QString OperationDriver::menuCaption(int itemIcon) {
    switch (itemIcon) {
    case kModeFlash:
        return UiTexts::menuFlash();
    case kModeStore:
        return UiTexts::menuStore();
    case kModeReadBack:
        return UiTexts::menuReadBack();
    default:
        return QString();
    }
}

void OperationDriver::N1Click(int itemIcon) {
    FormModel& f = loader_.form;
    f.btnConnect.imageIndex = itemIcon;
    loader_.state.OperationMode = itemIcon;
    f.btnConnect.hint = menuCaption(itemIcon);
    applyOptionVisibility();
}

void OperationDriver::applyOptionVisibility() {
    FormModel& f = loader_.form;
    const bool storeMode = loader_.state.OperationMode == kModeStore;
    f.cbFinalization.visible = storeMode;
    f.cbWaitConnectLUMET.visible = storeMode;
    f.cbDopInitCmd.visible = storeMode;
}
