#include "LinkSettings.h"

#include "FormModel.h"

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

quint16 LinkSettings::portNumber(const QString& text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    return ok && port <= 65535 ? quint16(port) : 0;
}

LinkSettings LinkSettings::fromForm(const FormModel& form) {
    LinkSettings settings;
    settings.kind = form.connectionKind();
    settings.serialPort = serialPortOf(form.cmbComPort);
    settings.baud = baudOf(form.cmbBaudRate);
    settings.host = form.IPEdit.text;
    settings.port = portNumber(form.PortNum.text);
    settings.brokerHost = form.BrokerIPEdt.text;
    settings.brokerPort = portNumber(form.BrokerPortEdt.text);
    settings.hardwareId = std::uint32_t(form.HARDWARE_IDEdt.wholeValue());
    return settings;
}
