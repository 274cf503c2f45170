#include "SerialPortList.h"

#include <QFileInfo>

SerialPortList::SerialPortList(FormModel& form, std::function<QStringList()> systemPorts)
    : form_(form), systemPorts_(std::move(systemPorts)) {}

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
        return;
    }
    for (int n = 1; n <= 99; ++n) {
        ports.items.append(QStringLiteral("COM%1").arg(n));
    }
}

bool SerialPortList::SelectCurrentPort() {
    ComboControl& ports = form_.cmbComPort;
    if (ports.items.contains(ports.text)) {
        return true;
    }
    // A device path typed into the box is kept while the device is there: the system's list
    // holds neither the stable names under /dev/serial/by-id nor pseudo-terminals, and its
    // first entry put in their place would take the next operation to another port unnoticed.
    if (ports.text.startsWith(QLatin1Char('/')) && QFileInfo::exists(ports.text)) {
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
