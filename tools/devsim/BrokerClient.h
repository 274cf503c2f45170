#pragma once

#include "FaultPlan.h"
#include "FrameAssembler.h"
#include "OutputQueue.h"

#include <QSet>
#include <QTcpSocket>
#include <QTimer>

namespace devsim {

// One TCP client of the broker: reads its frames, writes frames to it through its own output
// queue (so a split frame's second part keeps its place), and remembers the hardware ids it has
// talked to.
class BrokerClient : public QObject {
    Q_OBJECT
public:
    // A frame left unfinished this long is given up, so the stream can recover.
    static constexpr int kStaleFrameMs = 2000;

    BrokerClient(QTcpSocket* socket, const FaultOptions& faults, std::uint32_t salt,
                 QObject* parent = nullptr);

    void sendPiece(std::uint32_t hardwareId, const QByteArray& piece, bool damaged = false);
    void sendRaw(const QByteArray& bytes);
    void attach(std::uint32_t hardwareId) { attached_.insert(hardwareId); }
    bool isAttached(std::uint32_t hardwareId) const { return attached_.contains(hardwareId); }
    bool isAttachedToAny() const { return !attached_.isEmpty(); }
    void close();

signals:
    void frameReceived(std::uint32_t hardwareId, const QByteArray& payload);
    void gone();

private:
    void read();

    QTcpSocket* socket_;
    FaultPlan faults_;
    FrameAssembler assembler_;
    OutputQueue queue_;
    QTimer staleTimer_;
    QSet<std::uint32_t> attached_;
};

} // namespace devsim
