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
// talked to. A client that leaves more than kMaxUnreadOutput (Bounds.h) unread is dropped.
class BrokerClient : public QObject {
    Q_OBJECT
public:
    // A frame left unfinished this long is given up, so the stream can recover.
    static constexpr int kStaleFrameMs = 2000;
    // Bytes skipped as not a valid frame are logged at most this often.
    static constexpr int kSkipLogMs = 1000;

    BrokerClient(QTcpSocket* socket, const FaultOptions& faults, std::uint32_t salt,
                 QObject* parent = nullptr);

    void sendPiece(std::uint32_t hardwareId, const QByteArray& piece, bool damaged = false);
    void sendRaw(const QByteArray& bytes);
    void attach(std::uint32_t hardwareId) { attached_.insert(hardwareId); }
    bool isAttached(std::uint32_t hardwareId) const { return attached_.contains(hardwareId); }
    bool isAttachedToAny() const { return !attached_.isEmpty(); }
    const QSet<std::uint32_t>& attachedIds() const { return attached_; }
    // Closes the connection once what is written has gone out.
    void close();
    // Drops the connection at once, with a line on the simulator's log saying why; from then
    // on the client takes and sends nothing. The socket is closed on the event loop, so a
    // caller going through the clients is not disturbed.
    void drop(const QString& why);

signals:
    void frameReceived(std::uint32_t hardwareId, const QByteArray& payload);
    void gone();

private:
    void read();
    void logSkipped();

    QTcpSocket* socket_;
    QString peer_;
    FaultPlan faults_;
    FrameAssembler assembler_;
    OutputQueue queue_;
    QTimer staleTimer_;
    QTimer skipLogTimer_;
    qint64 skipped_ = 0;
    QSet<std::uint32_t> attached_;
    bool dropped_ = false;
};

} // namespace devsim
