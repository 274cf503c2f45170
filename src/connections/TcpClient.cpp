#include "TcpClient.h"

#include "KeepAlive.h"
#include "SocketErrorText.h"
#include "core/LoaderError.h"

template <typename Fn> void TcpClient::queue(Fn fn) {
    QMetaObject::invokeMethod(
        context_,
        [alive = alive_, fn] {
            if (*alive) {
                fn();
            }
        },
        Qt::QueuedConnection);
}

TcpClient::TcpClient(QString host, QString port)
    : host_(std::move(host)), port_(std::move(port)), socket_(new QTcpSocket()),
      context_(new QObject()) {
    // A peer that sends without pause fills at most this much here; the rest waits in the
    // system and holds the peer back, until the loader has taken what is read.
    socket_->setReadBufferSize(kReadBufferSize);
    auto relay = [this](void (TcpClient::*handler)()) {
        return [this, alive = alive_, handler] {
            if (*alive) {
                (this->*handler)();
            }
        };
    };
    QObject::connect(socket_, &QTcpSocket::connected, context_, relay(&TcpClient::socketConnected),
                     Qt::QueuedConnection);
    QObject::connect(socket_, &QTcpSocket::errorOccurred, context_, relay(&TcpClient::socketError),
                     Qt::QueuedConnection);
    QObject::connect(socket_, &QTcpSocket::disconnected, context_,
                     relay(&TcpClient::socketDisconnected), Qt::QueuedConnection);
    // Received bytes are handled as they are announced, as the serial port's are: they come
    // only from the event loop, never from a call of the loader's, and their handler runs no
    // loop of its own. Queued, each reception cost the thread a second wake.
    QObject::connect(socket_, &QTcpSocket::readyRead, context_, relay(&TcpClient::socketReadyRead));
}

TcpClient::~TcpClient() {
    // No event after destruction: events still queued find the client gone. The socket
    // drops the connection now; both Qt objects go from the event loop.
    *alive_ = false;
    QObject::disconnect(socket_, nullptr, context_, nullptr);
    socket_->abort();
    socket_->deleteLater();
    context_->deleteLater();
}

void TcpClient::activate() {
    if (host_.isEmpty()) {
        throw LoaderError(QStringLiteral("Host not set"));
    }
    if (port_.isEmpty()) {
        throw LoaderError(QStringLiteral("Port not set"));
    }
    bool ok = false;
    const uint port = port_.trimmed().toUInt(&ok);
    active_ = true;
    everConnected_ = false;
    if (!ok || port == 0 || port > 65535) {
        // A port text that is no port number fails like an unreachable host, from the loop.
        queue([this] {
            active_ = false;
            connectFailure_ = QStringLiteral("номер порта должен быть от 1 до 65535");
            if (onConnectFailed) {
                onConnectFailed();
            }
        });
        return;
    }
    socket_->connectToHost(host_, quint16(port));
}

bool TcpClient::isConnected() const {
    return socket_->state() == QAbstractSocket::ConnectedState;
}

bool TcpClient::lowDelay() const {
    return socket_->socketOption(QAbstractSocket::LowDelayOption).toInt() != 0;
}

KeepAlive::Settings TcpClient::keepAlive() const {
    return KeepAlive::read(*socket_);
}

QByteArray TcpClient::readAll() {
    return socket_->readAll();
}

void TcpClient::write(const QByteArray& bytes) {
    if (!isConnected()) {
        return;
    }
    socket_->write(bytes);
    // Hands the system what it takes now; the rest goes out from the event loop.
    socket_->flush();
}

void TcpClient::deactivate() {
    if (!active_) {
        return;
    }
    socket_->disconnectFromHost();
    if (socket_->state() == QAbstractSocket::UnconnectedState) {
        raiseClose();
    }
}

void TcpClient::raiseClose() {
    if (!active_) {
        return;
    }
    active_ = false;
    if (onClose) {
        onClose();
    }
}

void TcpClient::socketConnected() {
    if (!active_ || !isConnected()) {
        return;
    }
    // Without this every small exchange waits for delayed acknowledgements (about 40 ms).
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    KeepAlive::enable(*socket_);
    everConnected_ = true;
    localPort_ = QString::number(socket_->localPort());
    if (onConnected) {
        onConnected();
    }
}

void TcpClient::socketError() {
    if (!active_) {
        return;
    }
    if (!everConnected_) {
        // The lookup or the connect failed.
        if (socket_->state() != QAbstractSocket::ConnectedState) {
            active_ = false;
            connectFailure_ = SocketErrorText::connectFailed(socket_->error());
            if (onConnectFailed) {
                onConnectFailed();
            }
        }
        return;
    }
    if (socket_->state() == QAbstractSocket::UnconnectedState) {
        raiseClose();
    }
}

void TcpClient::socketDisconnected() {
    if (everConnected_) {
        raiseClose();
    }
}

void TcpClient::socketReadyRead() {
    // A notice may find the bytes already taken by an earlier readAll.
    if (active_ && socket_->bytesAvailable() > 0 && onDataAvailable) {
        onDataAvailable();
    }
}
