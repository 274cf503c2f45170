#include "SerialPortList.h"

#include "core/LoaderOutput.h"

#include <QFileInfo>

namespace {

const QString kPortHint = QStringLiteral("последовательный порт");

} // namespace

SerialPortList::SerialPortList(FormModel& form, LoaderOutput& output,
                               std::function<QStringList()> systemPorts)
    : form_(form), output_(output), systemPorts_(std::move(systemPorts)) {}

void SerialPortList::EnumerateSerialPorts(QStringList& list, const QString& prefix) {
    const QStringList system = systemPorts_ ? systemPorts_() : QStringList();
    QStringList kept;
    for (const QString& name : system) {
        // Device paths (Linux) carry no "COM" prefix; they are listed as they are.
        if (name.startsWith(QLatin1Char('/')) || name.left(3) == prefix) {
            kept.append(name);
        }
    }
    list = kept;
}

void SerialPortList::tbAutoComListClick() {
    ComboControl& ports = form_.cmbComPort;
    ports.items.clear();
    ports.itemIndex = -1;
    if (form_.tbAutoComList.checked) {
        EnumerateSerialPorts(ports.items, QStringLiteral("COM"));
        SelectCurrentPort();
    } else {
        for (int n = 1; n <= 99; ++n) {
            ports.items.append(QStringLiteral("COM%1").arg(n));
        }
    }
    showWhetherTypedPortIsThere();
}

// A typed device path that is not there now (an adapter not plugged in yet) is kept, and the
// box's tooltip and the connection state say that it is missing.
void SerialPortList::showWhetherTypedPortIsThere() {
    ComboControl& ports = form_.cmbComPort;
    const bool missing = ports.text.startsWith(QLatin1Char('/')) && !QFileInfo::exists(ports.text);
    ports.hint = kPortHint;
    if (missing) {
        const QString note = ports.text + QStringLiteral(": нет в системе");
        ports.hint += QStringLiteral("\r\n") + note;
        output_.setStatus(2, note);
    }
}

bool SerialPortList::SelectCurrentPort() {
    ComboControl& ports = form_.cmbComPort;
    if (ports.items.contains(ports.text)) {
        return true;
    }
    // A device path typed into the box is kept: the system's list holds neither the stable
    // names under /dev/serial/by-id nor pseudo-terminals nor an adapter plugged in later, and
    // its first entry put in their place would take the next operation to another port
    // unnoticed.
    if (ports.text.startsWith(QLatin1Char('/'))) {
        ports.itemIndex = -1;
        return true;
    }
    if (!ports.items.isEmpty()) {
        ports.select(0);
    } else {
        ports.itemIndex = -1;
        ports.text.clear();
    }
    return false;
}
