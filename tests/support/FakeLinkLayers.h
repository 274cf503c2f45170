#pragma once

#include "connections/LinkFactory.h"

#include <QByteArray>
#include <QList>
#include <cstdint>

class VirtualRuntime;

// Serial and TCP layers for unit tests of the connections, in virtual time. Their events are
// posted on the virtual runtime, as the real layers deliver theirs from the event loop; a
// test scripts what the far end does and when.
class FakeSerialLayer : public SerialLayer {
public:
    explicit FakeSerialLayer(VirtualRuntime& runtime) : runtime_(runtime) {}

    void setPortName(const QString& name) override { name_ = name; }
    QString portName() const override { return name_; }
    void setBaudRate(int bitsPerSecond) override { baud_ = bitsPerSecond; }
    int baudRate() const override { return baud_; }
    void open() override;
    bool isOpen() const override { return open_; }
    void write(const QByteArray& bytes) override;
    int read(char* buffer, int count) override;
    void close() override;

    // Script: the errno an open fails with (0: it opens); an open that reports success but
    // leaves the port closed (a port that drops at once).
    int openErrno = 0;
    bool openLeavesClosed = false;
    int readErrno = 0;
    int openCalls = 0;
    QList<QByteArray> written;

    // The device sends bytes after delayMs; one received-characters event.
    void receive(const QByteArray& bytes, std::uint64_t delayMs);
    // Sends the answer whenever the loader writes command.
    void answer(const QByteArray& command, const QByteArray& reply, std::uint64_t delayMs);

private:
    VirtualRuntime& runtime_;
    QString name_;
    int baud_ = 0;
    bool open_ = false;
    QByteArray queued_;
    QList<QPair<QByteArray, QPair<QByteArray, std::uint64_t>>> answers_;
};

class FakeTcpLayer : public TcpLayer {
public:
    enum class Outcome { Connect, Refuse, Silent };

    FakeTcpLayer(VirtualRuntime& runtime, QString hostText, QString portText, Outcome outcome,
                 std::uint64_t delayMs)
        : host(std::move(hostText)), port(std::move(portText)), runtime_(runtime),
          outcome_(outcome), delayMs_(delayMs) {}
    ~FakeTcpLayer() override;

    void activate() override;
    bool isActive() const override { return active_; }
    bool isConnected() const override { return connected_; }
    QByteArray readAll() override;
    void write(const QByteArray& bytes) override;
    void deactivate() override;
    QString localHost() const override { return QString(); }
    QString localPort() const override { return connected_ || wasConnected_ ? "50000" : ""; }

    // The far end sends bytes after delayMs (one data-available event), or closes.
    void receive(const QByteArray& bytes, std::uint64_t delayMs);
    void peerClose(std::uint64_t delayMs);

    // A socket's read chunk: the least block a read hands out, however few the bytes.
    static constexpr qsizetype kReadChunk = 16 * 1024;

    const QString host;
    const QString port;
    QList<QByteArray> written;
    // Called with every write (may script the far end's answer).
    std::function<void(const QByteArray&)> onWrite;

private:
    void post(std::uint64_t delayMs, std::function<void()> fn);

    VirtualRuntime& runtime_;
    Outcome outcome_;
    std::uint64_t delayMs_;
    bool active_ = false;
    bool connected_ = false;
    bool wasConnected_ = false;
    QByteArray buffer_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A factory whose layers are the fakes above; it keeps the serial layer and the last TCP
// client made so the test can script them.
struct FakeLinks {
    explicit FakeLinks(VirtualRuntime& runtime) : runtime_(runtime) {}
    LinkFactory factory();

    FakeTcpLayer::Outcome tcpOutcome = FakeTcpLayer::Outcome::Connect;
    std::uint64_t tcpDelayMs = 20;
    QStringList systemPorts;
    FakeSerialLayer* serial = nullptr;
    FakeTcpLayer* tcp = nullptr;
    int tcpClientsMade = 0;
    // Runs on every TCP client made, before the loader uses it.
    std::function<void(FakeTcpLayer&)> onTcpMade;

private:
    VirtualRuntime& runtime_;
};
