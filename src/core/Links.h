#pragma once

#include "Operation.h"

#include <QByteArray>

// The connection steps the core calls: opening the connection of the chosen kind, writing a
// command, and closing. The connection code implements it over the serial and TCP layers;
// unit tests implement it with a scripted device in virtual time.
class Links {
public:
    virtual ~Links() = default;

    // The steps of OpenConnection for each kind. Each raises LoaderError on a failure it
    // reports itself; a connection that did not come up is seen in ConnectionOpen.
    virtual void openSerial() = 0;
    virtual void openTcp() = 0;
    virtual void openBroker() = 0;

    // The write of SendCommand for the connection kind of the visible page. Over TCP and the
    // broker nothing is written while the client is not connected.
    virtual void write(LinkKind kind, const QByteArray& text) = 0;

    // Sets the serial port's DTR and RTS lines (true: active); nothing on other links.
    virtual void setSerialLines(bool dtr, bool rts) {
        (void)dtr;
        (void)rts;
    }

    virtual bool serialPortOpen() const = 0;
    virtual void closeSerialPort() = 0;
    // Deactivates the TCP client when one exists and is active, and clears TcpConnected.
    virtual void deactivateTcpClient() = 0;
};
