#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

// velkor-devsim as a child process for integration tests: started with the given options, it is
// ready once it has printed its addresses ("tcp 127.0.0.1:PORT", "broker ...", "pty PATH").
class DevsimProcess {
public:
    explicit DevsimProcess(const QStringList& arguments);
    ~DevsimProcess();
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    bool isReady() const { return ready_; }
    quint16 tcpPort() const { return tcpPort_; }
    quint16 brokerPort() const { return brokerPort_; }
    QString ptyPath() const { return ptyPath_; }
    QString errorOutput();
    // Stops the simulator and waits for it.
    void stop();

private:
    QProcess process_;
    bool ready_ = false;
    quint16 tcpPort_ = 0;
    quint16 brokerPort_ = 0;
    QString ptyPath_;
};

// Reads from device (a connected socket, or a file kept open) until done(bytes so far) holds or
// timeoutMs pass; returns what arrived.
QByteArray readUntil(QIODevice& device, const std::function<bool(const QByteArray&)>& done,
                     int timeoutMs = 3000);
// Reads until quietMs pass without data (or maxMs in all).
QByteArray readQuiet(QIODevice& device, int quietMs, int maxMs = 3000);
