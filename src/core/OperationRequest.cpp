#include "OperationRequest.h"

#include "FormModel.h"
#include "LoaderState.h"

OperationRequest OperationRequest::fromForm(Operation operation, const FormModel& form,
                                            const LoaderState& state) {
    OperationRequest request;
    request.operation = operation;
    request.link = LinkSettings::fromForm(form);
    request.firmwarePath = state.FirmwareFilePath;
    request.header = form.edtUnitSign.text;
    request.waitForController = form.cbWaitConnectLUMET.checked;
    request.trace = form.mnuDebug.checked;
    request.flash.restart = qMax(0, form.cmbRestart.itemIndex);
    request.store.finalize = form.cbFinalization.checked;
    request.store.accompanyingInit = form.cbDopInitCmd.checked;
    request.store.verify = form.cbVerifyStored.checked;
    request.store.initCommands = form.DopCmdMemo;
    return request;
}
