#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

// velkor-devsim as a child process of one test: started with the given options, it is ready
// once it has printed its addresses ("tcp 127.0.0.1:PORT", "broker ...", "pty PATH").
class DevsimProcess {
public:
    DevsimProcess() = default;
    explicit DevsimProcess(const QStringList& arguments) { start(arguments); }
    ~DevsimProcess();
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    // Starts the simulator and waits for its "ready" line; true once it came.
    bool start(const QStringList& arguments);
    bool isReady() const { return ready_; }
    quint16 tcpPort() const { return tcpPort_; }
    quint16 brokerPort() const { return brokerPort_; }
    // "127.0.0.1:PORT", as --tcp and --broker take it.
    QString tcpAddress() const;
    QString brokerAddress() const;
    QString ptyPath() const { return ptyPath_; }
    // A field of its /proc status in kB (VmHWM, VmRSS).
    qint64 memoryKb(const QByteArray& field) const;
    // What it wrote to its log so far (all of it, once stopped).
    QString errorOutput();
    // Stops the simulator and waits for it.
    void stop();

private:
    void readAddresses(const QByteArray& out);

    QProcess process_;
    bool ready_ = false;
    quint16 tcpPort_ = 0;
    quint16 brokerPort_ = 0;
    QString ptyPath_;
};

// True once the storage memory of every controller of ids behind the broker (the files
// storage.idN of --storage) holds a data record.
bool storesData(const QString& storage, const QStringList& ids);

// Reads from device (a connected socket, or a file kept open) until done(bytes so far) holds or
// timeoutMs pass; returns what arrived.
QByteArray readUntil(QIODevice& device, const std::function<bool(const QByteArray&)>& done,
                     int timeoutMs = 3000);
// Reads until quietMs pass without data (or maxMs in all).
QByteArray readQuiet(QIODevice& device, int quietMs, int maxMs = 3000);
