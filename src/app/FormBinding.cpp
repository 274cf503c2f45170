#include "FormBinding.h"

#include "FormModel.h"
#include "FormRequest.h"
#include "core/Loader.h"
#include "core/OperationTable.h"

FormBinding::FormBinding(FormModel& form, Loader& loader) : form_(form), loader_(loader) {
    LoaderOutput& output = loader.output;
    output.onOperationRunning = [this](bool running) {
        if (running) {
            form_.lockForOperation();
        } else {
            form_.releaseAfterOperation(loader_.state.OperationMode);
        }
    };
    output.onLinkOpen = [this](bool open) {
        if (open) {
            form_.showLinkOpen();
        } else {
            form_.showLinkClosed();
        }
    };
    output.onHeader = [this](const QString& header, qsizetype headerLine) {
        form_.edtUnitSign.text = header;
        form_.edtUnitSign.tag = int(headerLine);
    };
    sync();
}

FormBinding::~FormBinding() {
    LoaderOutput& output = loader_.output;
    output.onOperationRunning = nullptr;
    output.onLinkOpen = nullptr;
    output.onHeader = nullptr;
}

void FormBinding::sync() {
    LoaderChoices& choices = loader_.choices;
    if (!loader_.state.OperationActive) {
        // While an operation runs, its link is the one in use and the page is locked.
        choices.link = FormRequest::link(form_);
    }
    choices.fastExchange = form_.mnuFastExchange.checked;
    choices.waitForController = form_.cbWaitConnectLUMET.checked;
    form_.showAnswerTimeout(loader_.state.AnswerTimeoutMs);
    form_.showAnswerGap(loader_.state.AnswerGapMs);
}

void FormBinding::btnConnectClick() {
    if (loader_.state.OperationActive) {
        loader_.driver.cancel(QString());
        return;
    }
    const OperationRequest request =
        FormRequest::operation(loader_.state.OperationMode, form_, loader_.state);
    FormRequest::showChosenSerial(form_, request.link);
    loader_.driver.launch(request);
}

void FormBinding::openConnection() {
    const LinkSettings link = FormRequest::link(form_);
    FormRequest::showChosenSerial(form_, link);
    loader_.driver.OpenConnection(link);
}

void FormBinding::ToolButton1Click() {
    form_.setConnectionKind(nextLinkKind(form_.connectionKind()));
    applyOptionVisibility();
    // A message of the last operation or link (a port that would not open) speaks of the kind
    // left behind.
    loader_.setStatus(3, QString());
    sync();
}

void FormBinding::N1Click(Operation operation) {
    form_.btnConnect.imageIndex = operationIcon(operation);
    loader_.state.OperationMode = operation;
    form_.btnConnect.hint = OperationTable::row(operation).caption;
    applyOptionVisibility();
}

void FormBinding::applyOptionVisibility() {
    const bool storeMode = loader_.state.OperationMode == Operation::Store;
    form_.cbFinalization.visible = storeMode;
    form_.cbWaitConnectLUMET.visible = storeMode;
    form_.cbDopInitCmd.visible = storeMode;
    form_.cbVerifyStored.visible = storeMode;
    form_.cmbRestart.visible = loader_.state.OperationMode == Operation::Flash;
}
