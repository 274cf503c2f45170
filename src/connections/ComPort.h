#pragma once

#include "SerialLayer.h"

#include <QObject>
#include <QSerialPort>
#include <functional>

// The serial layer over QSerialPort. QSerialPort reads through the event loop of the thread
// that owns it, so the received-characters event always runs on the user-interface thread,
// one at a time, when that thread processes pending events.
class ComPort : public QObject, public SerialLayer {
    Q_OBJECT
public:
    explicit ComPort(QObject* parent = nullptr);
    ~ComPort() override;

    void setPortName(const QString& name) override { name_ = name; }
    QString portName() const override { return name_; }
    void setBaudRate(int bitsPerSecond) override { baud_ = bitsPerSecond; }
    int baudRate() const override { return baud_; }

    void open() override;
    void setControlLines(bool dtr, bool rts) override;
    bool isOpen() const override { return port_.isOpen(); }
    void write(const QByteArray& bytes) override;
    int read(char* buffer, int count) override;
    void close() override;

    // The device QSerialPort opens for a port name: "COMn" is /dev/ttyS(n-1) on Linux, a
    // name that starts with "/" is a device path taken as it stands.
    static QString deviceFor(const QString& name);

    // The driver queue asked for on open; reading stops while this much is unread.
    static constexpr int kQueueSize = 1024;

private:
    void onError(QSerialPort::SerialPortError error);
    void onReadyRead();
    void presetLineSettings();
    // Applies the line settings, DTR and RTS first; a refused one raises SerialError.
    void applyLineSettings();
    void dropModemLine(const std::function<bool()>& drop, const QString& line);
    void require(bool applied, const QString& setting);
    void resetErrors();
    [[noreturn]] void throwWriteFailed();
    int systemCode(QSerialPort::SerialPortError error) const;

    QSerialPort port_;
    QString name_;
    int baud_ = 115200;
    int lastErrno_ = 0;
};
