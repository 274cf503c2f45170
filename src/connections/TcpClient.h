#pragma once

#include "KeepAlive.h"
#include "TcpLayer.h"

#include <QObject>
#include <QTcpSocket>
#include <memory>

// The TCP layer over QTcpSocket. Every socket signal reaches the loader through a queued
// connection, so no event is ever raised inside the call that caused it (activate, write,
// readAll), and a destroyed client drops the events still queued for it. The Qt objects go
// later than the client, so the loader may destroy the client inside one of its own events.
class TcpClient : public TcpLayer {
public:
    TcpClient(QString host, QString port);
    ~TcpClient() override;

    void activate() override;
    bool isActive() const override { return active_; }
    bool isConnected() const override;
    QByteArray readAll() override;
    void write(const QByteArray& bytes) override;
    void deactivate() override;
    QString localHost() const override { return QString(); }
    QString localPort() const override { return localPort_; }
    QString connectFailure() const override { return connectFailure_; }

    // The most received bytes held by the client; also the largest chunk readAll() returns.
    static constexpr qint64 kReadBufferSize = 64 * 1024;

    // Whether the socket has Nagle's algorithm switched off, and its keep-alive (for tests).
    bool lowDelay() const;
    KeepAlive::Settings keepAlive() const;

private:
    void socketConnected();
    void socketError();
    void socketDisconnected();
    void socketReadyRead();
    void raiseClose();
    // Runs fn from the event loop, unless the client is gone by then.
    template <typename Fn> void queue(Fn fn);

    QString host_;
    QString port_;
    QTcpSocket* socket_;
    QObject* context_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    QString localPort_;
    QString connectFailure_;
    bool active_ = false;
    bool everConnected_ = false;
};
