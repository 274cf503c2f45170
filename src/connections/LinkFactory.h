#pragma once

#include "SerialLayer.h"
#include "TcpLayer.h"

#include <QStringList>
#include <functional>
#include <memory>

// How the connections get their serial and TCP layers and the system's list of serial
// ports. The application and the shell use the Qt layers; unit tests hand in fakes driven in
// virtual time.
struct LinkFactory {
    std::function<std::unique_ptr<SerialLayer>()> makeSerial;
    std::function<std::unique_ptr<TcpLayer>(const QString& host, const QString& port)> makeTcp;
    // The system's serial device names, in the system's order.
    std::function<QStringList()> systemPorts;

    static LinkFactory qt();
};
