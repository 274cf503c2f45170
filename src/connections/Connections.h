#pragma once

#include "BrokerReceiver.h"
#include "LinkFactory.h"
#include "core/Links.h"

#include <QStringList>
#include <memory>

#include "core/Dialogs.h"
#include "core/FormModel.h"
#include "core/LoaderOutput.h"
#include "core/LoaderState.h"
#include "core/ReceiveRouter.h"
#include "core/Runtime.h"
#include "core/Timings.h"

// What the connections work on: they open by the form's settings and say how it went in its
// status panels (an error box where the user must act), keep the link state, feed what arrives
// to the routing rule, and run the terminal flush timer (Timer3) while a link is alive.
struct ConnectionParts {
    Runtime& runtime;
    Dialogs& dialogs;
    LoaderState& state;
    FormModel& form;
    LoaderOutput& output;
    ReceiveRouter& router;
    std::unique_ptr<Timer>& timer3;
    const Timings& timings;
};

// The three ways to reach the controller, for one loader: the serial port ComPort1 with its
// port list, the TCP client for the direct connection and for the broker, the broker's
// frames, and the receive handlers that feed the exchange through the routing rule.
class Connections : public Links {
public:
    explicit Connections(const ConnectionParts& parts, LinkFactory factory = LinkFactory::qt());
    ~Connections() override;
    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;

    // An incomplete broker frame that gets no further byte for this long never completes: it
    // is reported as a damaged frame and dropped.
    static constexpr int kIncompleteFrameTimeoutMs = 3000;

    // Port list.
    void EnumerateSerialPorts(QStringList& list, const QString& prefix);
    void tbAutoComListClick();
    bool SelectCurrentPort();

    // Links: the open steps of each kind, the writes of SendCommand, the closes.
    void openSerial() override;
    void openTcp() override;
    void openBroker() override;
    void write(LinkKind kind, const QByteArray& text) override;
    void setSerialLines(bool dtr, bool rts) override;
    bool serialPortOpen() const override;
    void closeSerialPort() override;
    void deactivateTcpClient() override;

    // Serial events.
    void ComPort1AfterOpen();
    void ComPort1AfterClose();
    void ComPort1RxChar(int count);

    // TCP events.
    void xportTCPClientConnected();
    void xportTCPClientDisConnected();
    void xportTCPClientConnectFailed();
    void TCPClientDataAvailable();

    // Wraps the command into one broker frame and writes it. A command longer than a frame
    // carries (2037 bytes) raises LoaderError and nothing is sent.
    void SendBrokerFrame(const QByteArray& text);

    SerialLayer& ComPort1() { return *comPort_; }
    TcpLayer* TCPClient() { return tcpClient_.get(); }

private:
    QString serialPortName() const;
    void openSerialPort(const QString& name);
    void replaceTcpClient(const QString& host, const QString& port);
    void attachTcpHandlers();
    void waitForConnect(bool brokerWait);
    void receiveTcp(const QByteArray& chunk);
    // Both false when what arrived is only other controllers' frames.
    bool receiveBroker(const QByteArray& chunk);
    bool deliverBrokerPiece(const BrokerReceiver::Piece& piece);
    void deliverForeignFrame(const BrokerFrame::Frame& frame);
    std::uint32_t addressedId() const;
    void deliverStaleBrokerPiece(const BrokerReceiver::Piece& piece);
    void brokerNotFound();
    void reportHeldDamagedFrame(qsizetype size);
    void traceReception();
    void incompleteFrameTimedOut();
    void setReceiveTraceTick();

    ConnectionParts parts_;
    LinkFactory factory_;
    std::unique_ptr<SerialLayer> comPort_;
    std::unique_ptr<TcpLayer> tcpClient_;
    QString tcpAddress_; // host:port the client was made for
    // The damaged frame reported while it was held, so that it is not reported twice.
    QByteArray damagedShown_;
    BrokerReceiver brokerReceiver_;
    std::unique_ptr<Timer> incompleteFrameTimer_;
    QByteArray serialReceiveBuffer_;
};
