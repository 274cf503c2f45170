#include "TcpFrontEnd.h"

#include "AnswerShaper.h"
#include "Bounds.h"
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

namespace {

void drop(QTcpSocket* socket, const QString& why) {
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        return;
    }
    qWarning("velkor-devsim: TCP client %s:%d dropped: %s",
             qPrintable(socket->peerAddress().toString()), int(socket->peerPort()),
             qPrintable(why));
    socket->abort();
}

} // namespace

void TcpFrontEnd::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(kReadChunk);
        auto* runner = new SessionRunner(device_, options_, ++sessions_, socket);
        runner->setOutputBacklog([socket] { return qsizetype(socket->bytesToWrite()); });
        connect(socket, &QTcpSocket::readyRead, runner, [socket, runner] {
            if (!runner->receive(socket->readAll())) {
                drop(socket, QStringLiteral("more than %1 bytes sent ahead on its paced line")
                                 .arg(kMaxInputInFlight));
            }
        });
        connect(runner, &SessionRunner::output, socket,
                [socket](const QByteArray& bytes, bool damaged) {
                    socket->write(damaged ? garbled(bytes) : bytes);
                });
        connect(runner, &SessionRunner::closeRequested, socket, &QTcpSocket::disconnectFromHost);
        // Queued: the runner is in the middle of writing when it overflows.
        connect(
            runner, &SessionRunner::overflowed, socket,
            [socket](const QString& why) { drop(socket, why); }, Qt::QueuedConnection);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        runner->start();
    }
}

} // namespace devsim
