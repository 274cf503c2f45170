#pragma once

#include "FormModel.h"

#include <QStringList>

class LoaderOutput;
#include <functional>

// The serial page's list of ports: COM1 to COM99, or the system's ports when "В системе"
// (tbAutoComList) is checked.
class SerialPortList {
public:
    SerialPortList(FormModel& form, LoaderOutput& output, std::function<QStringList()> systemPorts);

    // Fills the list as the check box says and, for the system's list, keeps the port chosen
    // when it is there.
    void tbAutoComListClick();

private:
    void EnumerateSerialPorts(QStringList& list, const QString& prefix);
    bool SelectCurrentPort();
    void showWhetherTypedPortIsThere();

    FormModel& form_;
    LoaderOutput& output_;
    std::function<QStringList()> systemPorts_;
};
