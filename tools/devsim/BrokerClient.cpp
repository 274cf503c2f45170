#include "BrokerClient.h"

#include "Bounds.h"
#include "BrokerFrames.h"

namespace devsim {

BrokerClient::BrokerClient(QTcpSocket* socket, const FaultOptions& faults, std::uint32_t salt,
                           QObject* parent)
    : QObject(parent), socket_(socket),
      peer_(QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort())),
      faults_(faults, salt), queue_(0, this) {
    socket_->setParent(this);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_->setReadBufferSize(kReadChunk);
    staleTimer_.setSingleShot(true);
    connect(&staleTimer_, &QTimer::timeout, this, [this] { assembler_.dropPending(); });
    skipLogTimer_.setSingleShot(true);
    connect(&skipLogTimer_, &QTimer::timeout, this, &BrokerClient::logSkipped);
    connect(socket_, &QTcpSocket::readyRead, this, &BrokerClient::read);
    connect(socket_, &QTcpSocket::disconnected, this, &BrokerClient::gone);
    // A frame goes to the system as it is written: the socket's write notifier would cost each
    // frame a pass of the event loop and two changes of what it watches.
    queue_.setWritesDueAtOnce(true);
    connect(&queue_, &OutputQueue::write, this, [this](const QByteArray& bytes) {
        socket_->write(bytes);
        socket_->flush();
    });
    queue_.setBacklog([this] { return qsizetype(socket_->bytesToWrite()); });
    connect(&queue_, &OutputQueue::overflowed, this, [this](qsizetype unread) {
        drop(QStringLiteral("%1 bytes of frames waiting to go out, more than %2")
                 .arg(unread)
                 .arg(kMaxUnreadOutput));
    });
}

void BrokerClient::read() {
    if (dropped_) {
        return;
    }
    const FrameAssembler::Output out = assembler_.feed(socket_->readAll());
    if (out.skippedBytes > 0) {
        skipped_ += out.skippedBytes;
        if (!skipLogTimer_.isActive()) {
            logSkipped();
        }
    }
    if (assembler_.pending() > 0) {
        staleTimer_.start(kStaleFrameMs);
    } else {
        staleTimer_.stop();
    }
    // An answer written while its frame is routed may close the connection (a fault's close at
    // a page write): the frames after it are not taken.
    for (const BrokerFrame::Frame& frame : out.frames) {
        if (dropped_ || socket_->state() != QAbstractSocket::ConnectedState) {
            return;
        }
        emit frameReceived(frame.hardwareId, frame.payload);
    }
}

// At most a line a second: a client sending a flood of junk does not flood the log.
void BrokerClient::logSkipped() {
    if (skipped_ > 0) {
        qWarning("velkor-devsim: broker skipped %lld bytes that were not a valid frame",
                 static_cast<long long>(skipped_));
        skipped_ = 0;
        skipLogTimer_.start(kSkipLogMs);
    }
}

void BrokerClient::sendPiece(std::uint32_t hardwareId, const QByteArray& piece, bool damaged) {
    if (!dropped_) {
        queue_.enqueue(framePiece(hardwareId, piece, faults_, damaged));
    }
}

void BrokerClient::sendRaw(const QByteArray& bytes) {
    if (!dropped_) {
        queue_.enqueue({Piece{0, bytes}});
    }
}

void BrokerClient::close() {
    queue_.clear();
    socket_->disconnectFromHost();
}

void BrokerClient::drop(const QString& why) {
    if (dropped_) {
        return;
    }
    dropped_ = true;
    qWarning("velkor-devsim: broker client %s dropped: %s", qPrintable(peer_), qPrintable(why));
    queue_.clear();
    staleTimer_.stop();
    assembler_.dropPending();
    QMetaObject::invokeMethod(
        this, [this] { socket_->abort(); }, Qt::QueuedConnection);
}

} // namespace devsim
