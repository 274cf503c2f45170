#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// The TCP client as the loader drives it. It is made for one host and port (texts, as the
// fields hold them) and is used for one connection. The four events are delivered on the
// user-interface thread from its event processing, never inside activate(); the one
// exception is the close event of a deactivate() with nothing left to send, which runs inside
// that call. Destroying the client raises no event.
class TcpLayer {
public:
    virtual ~TcpLayer() = default;

    // Starts the host lookup and the connect and returns at once. Raises LoaderError
    // "Host not set" or "Port not set" for an empty text.
    virtual void activate() = 0;
    // Activated and not closed since.
    virtual bool isActive() const = 0;
    virtual bool isConnected() const = 0;
    // Every received byte not taken yet; empties the receive buffer.
    virtual QByteArray readAll() = 0;
    // Never blocks: sends what the system takes now and queues the rest, in order.
    virtual void write(const QByteArray& bytes) = 0;
    // Shuts the sending side; closes at once when nothing is queued, else once it is sent.
    virtual void deactivate() = 0;
    // The configured local bind address (the loader sets none, so empty).
    virtual QString localHost() const = 0;
    // The local port of the connection as decimal text; empty when it never connected.
    virtual QString localPort() const = 0;
    // Why the last connect failed, in words; empty when unknown.
    virtual QString connectFailure() const { return QString(); }

    std::function<void()> onConnected;
    std::function<void()> onConnectFailed;
    std::function<void()> onClose;
    std::function<void()> onDataAvailable;
};
