#include "LinkFactory.h"

#include "ComPort.h"
#include "TcpClient.h"

#include <QSerialPortInfo>

namespace {

QStringList qtSystemPorts() {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        names.append(info.portName());
#else
        // Device paths, so that the name in the list is exactly what is opened.
        names.append(info.systemLocation());
#endif
    }
    return names;
}

} // namespace

LinkFactory LinkFactory::qt() {
    LinkFactory factory;
    factory.makeSerial = [] { return std::make_unique<ComPort>(); };
    factory.makeTcp = [](const QString& host, const QString& port) {
        return std::make_unique<TcpClient>(host, port);
    };
    factory.systemPorts = qtSystemPorts;
    return factory;
}
