#include "FormRequest.h"

#include "FormModel.h"
#include "core/LoaderState.h"

namespace {

QString serialPortOf(const ComboControl& ports) {
    // A device path typed into the box is opened as typed, also when it is no entry: the
    // engineer must get the port he named, not entry 0.
    if (ports.text.startsWith(QLatin1Char('/'))) {
        return ports.text;
    }
    if (ports.items.isEmpty()) {
        return QString();
    }
    return ports.itemIndex < 0 ? ports.items.first() : ports.selectedText();
}

int baudOf(const ComboControl& speeds) {
    int baud = 0;
    BaudRates::rateOf(
        speeds.itemIndex < 0 ? BaudRates::entryOf(BaudRates::kDefault) : speeds.itemIndex, baud);
    return baud;
}

} // namespace

LinkSettings FormRequest::link(const FormModel& form) {
    LinkSettings settings;
    settings.kind = form.connectionKind();
    settings.serialPort = serialPortOf(form.cmbComPort);
    settings.baud = baudOf(form.cmbBaudRate);
    settings.host = form.IPEdit.text;
    settings.port = LinkSettings::portNumber(form.PortNum.text);
    settings.brokerHost = form.BrokerIPEdt.text;
    settings.brokerPort = LinkSettings::portNumber(form.BrokerPortEdt.text);
    settings.hardwareId = std::uint32_t(form.HARDWARE_IDEdt.wholeValue());
    return settings;
}

OperationRequest FormRequest::operation(Operation operation, const FormModel& form,
                                        const LoaderState& state) {
    OperationRequest request;
    request.operation = operation;
    request.link = link(form);
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

void FormRequest::showChosenSerial(FormModel& form, const LinkSettings& link) {
    if (link.kind != LinkKind::Serial) {
        return;
    }
    if (form.cmbComPort.itemIndex < 0 && !form.cmbComPort.items.isEmpty() &&
        form.cmbComPort.items.first() == link.serialPort) {
        form.cmbComPort.select(0);
    }
    if (form.cmbBaudRate.itemIndex < 0) {
        form.cmbBaudRate.select(BaudRates::entryOf(BaudRates::kDefault));
    }
}
