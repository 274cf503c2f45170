#include "BrokerClient.h"

#include "BrokerFrames.h"

namespace devsim {

BrokerClient::BrokerClient(QTcpSocket* socket, const FaultOptions& faults, std::uint32_t salt,
                           QObject* parent)
    : QObject(parent), socket_(socket), faults_(faults, salt), queue_(0, this) {
    socket_->setParent(this);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    staleTimer_.setSingleShot(true);
    connect(&staleTimer_, &QTimer::timeout, this, [this] { assembler_.dropPending(); });
    connect(socket_, &QTcpSocket::readyRead, this, &BrokerClient::read);
    connect(socket_, &QTcpSocket::disconnected, this, &BrokerClient::gone);
    connect(&queue_, &OutputQueue::write, this,
            [this](const QByteArray& bytes) { socket_->write(bytes); });
}

void BrokerClient::read() {
    const FrameAssembler::Output out = assembler_.feed(socket_->readAll());
    if (out.skippedBytes > 0) {
        qWarning("velkor-devsim: broker skipped %d bytes that were not a valid frame",
                 out.skippedBytes);
    }
    if (assembler_.pending() > 0) {
        staleTimer_.start(kStaleFrameMs);
    } else {
        staleTimer_.stop();
    }
    for (const BrokerFrame::Frame& frame : out.frames) {
        emit frameReceived(frame.hardwareId, frame.payload);
    }
}

void BrokerClient::sendPiece(std::uint32_t hardwareId, const QByteArray& piece, bool damaged) {
    queue_.enqueue(framePiece(hardwareId, piece, faults_, damaged));
}

void BrokerClient::sendRaw(const QByteArray& bytes) {
    queue_.enqueue({Piece{0, bytes}});
}

void BrokerClient::close() {
    queue_.clear();
    socket_->disconnectFromHost();
}

} // namespace devsim
