#pragma once

#include "ConnectionParts.h"
#include "LinkFactory.h"
#include "core/Delay.h"
#include "core/Task.h"

#include <QByteArray>
#include <functional>
#include <memory>

// The TCP client under the TCP/IP link and the broker's: it is made for an address, waits for
// the connect, and reports the client's events: the connect and the close (showLinkOpen), status
// panel 2 and the link state (Timer3 runs while it is up), what arrives to the link it serves.
class TcpSession {
public:
    // Takes what arrived; false when none of it is for this controller (only other
    // controllers' frames), so that it does not restart the quiet ticks of an answer.
    using Receiver = std::function<bool(const QByteArray& chunk)>;

    // closed runs after every close, once the link state says so.
    TcpSession(const ConnectionParts& parts, LinkFactory& layers, Receiver receive,
               std::function<void()> closed);
    ~TcpSession();
    TcpSession(const TcpSession&) = delete;
    TcpSession& operator=(const TcpSession&) = delete;

    // The open steps, in the order each link takes them: drop the client (no event), make one
    // for host and port, attach the event handlers (not connected until its event), activate
    // it, wait up to the connect time for the connect (or for the link to open).
    void drop();
    void makeClient(const QString& host, quint16 port);
    void attachHandlers();
    void activate();
    // The wait holds no thread: the connect's events end it early.
    Task<void> connectWait(bool untilLinkOpen);
    // A pause of the open steps that lets the event loop run meanwhile.
    Delay::Awaiter pause(int ms) { return delay_.after(ms); }

    bool isConnected() const;
    // Written only while connected.
    void write(const QByteArray& bytes);
    // Deactivates the client when one exists and is active, and clears TcpConnected.
    void deactivate();
    // When a trace of this reception is due, after the serial page's speed.
    void setReceiveTraceTick();

private:
    void connected();
    void disconnected();
    void connectFailed();
    void dataAvailable();

    ConnectionParts parts_;
    LinkFactory& layers_;
    Receiver receive_;
    std::function<void()> closed_;
    std::unique_ptr<TcpLayer> client_;
    QString address_; // host:port the client was made for
    Delay delay_;
};
