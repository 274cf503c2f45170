#include "TcpFrontEnd.h"

#include "SessionRunner.h"

#include <QTcpSocket>

namespace devsim {

TcpFrontEnd::TcpFrontEnd(Device& device, const SimOptions& options, QObject* parent)
    : QObject(parent), device_(device), options_(options) {
    connect(&server_, &QTcpServer::newConnection, this, &TcpFrontEnd::accept);
}

bool TcpFrontEnd::listen(int port, QString* error) {
    if (!server_.listen(QHostAddress(options_.bindAddress), quint16(port))) {
        *error = QStringLiteral("cannot listen on TCP %1:%2: %3")
                     .arg(options_.bindAddress)
                     .arg(port)
                     .arg(server_.errorString());
        return false;
    }
    return true;
}

QString TcpFrontEnd::address() const {
    return QStringLiteral("%1:%2")
        .arg(server_.serverAddress().toString())
        .arg(server_.serverPort());
}

void TcpFrontEnd::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* runner = new SessionRunner(device_, options_, ++sessions_, socket);
        connect(socket, &QTcpSocket::readyRead, runner,
                [socket, runner] { runner->receive(socket->readAll()); });
        connect(runner, &SessionRunner::output, socket,
                [socket](const QByteArray& bytes) { socket->write(bytes); });
        connect(runner, &SessionRunner::closeRequested, socket, &QTcpSocket::disconnectFromHost);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        runner->start();
    }
}

} // namespace devsim
