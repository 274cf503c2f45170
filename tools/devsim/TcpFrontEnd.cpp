#include "TcpFrontEnd.h"

#include "AnswerShaper.h"
#include "Listening.h"
#include "SessionRunner.h"

#include <QTcpSocket>

namespace devsim {

TcpFrontEnd::TcpFrontEnd(Device& device, const SimOptions& options, QObject* parent)
    : QObject(parent), device_(device), options_(options) {
    connect(&server_, &QTcpServer::newConnection, this, &TcpFrontEnd::accept);
}

bool TcpFrontEnd::listen(int port, QString* error) {
    return listenOn(server_, options_.bindAddress, port, QStringLiteral("TCP"), error);
}

QString TcpFrontEnd::address() const {
    return listeningAddress(server_);
}

void TcpFrontEnd::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* runner = new SessionRunner(device_, options_, ++sessions_, socket);
        connect(socket, &QTcpSocket::readyRead, runner,
                [socket, runner] { runner->receive(socket->readAll()); });
        connect(runner, &SessionRunner::output, socket,
                [socket](const QByteArray& bytes, bool damaged) {
                    socket->write(damaged ? garbled(bytes) : bytes);
                });
        connect(runner, &SessionRunner::closeRequested, socket, &QTcpSocket::disconnectFromHost);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        runner->start();
    }
}

} // namespace devsim
