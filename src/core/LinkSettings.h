#pragma once

#include "BaudRates.h"
#include "Operation.h"

#include <QString>
#include <cstdint>

// Where and how the controller is reached, decided by the front end: the window from its
// connection page, the shell from its options. The links open by these values and never read
// a control's text back.
struct LinkSettings {
    LinkKind kind = LinkKind::Serial;
    // The serial port's name or device path; empty when the system offers none.
    QString serialPort;
    int baud = BaudRates::kDefault; // a speed outside BaudRates::kAll is refused at the open
    QString host;                   // the controller's network adapter
    // 0 for a port text that names no port: the connect then fails as to an unreachable host.
    quint16 port = 0;
    QString brokerHost;
    quint16 brokerPort = 0;
    std::uint32_t hardwareId = 0; // the controller behind the broker

    // A port number as typed: 1 to 65535, else 0.
    static quint16 portNumber(const QString& text);
};
