#pragma once

#include "ConnectionParts.h"
#include "Link.h"
#include "LinkFactory.h"
#include "core/Delay.h"

#include <QByteArray>
#include <memory>

// The serial port ComPort1: opened by the serial page's port and speed, with up to twenty
// attempts half a second apart; its open and close shown (showLinkOpen) and in status panel 2, what
// it receives fed to the routing rule.
class SerialLink : public Link {
public:
    SerialLink(const ConnectionParts& parts, LinkFactory& layers);
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    Task<void> open(LinkSettings settings) override;
    void write(const QByteArray& text) override;
    void close() override;
    void releaseDevice() override;
    void setControlLines(bool dtr, bool rts) override;

private:
    void openPort(const QString& name);
    void afterOpen();
    void afterClose();
    void received(int count);

    ConnectionParts parts_;
    QString portName_; // the port opened last, as the link state names it
    std::unique_ptr<SerialLayer> port_;
    Delay delay_; // the pause after each attempt to open
    QByteArray receiveBuffer_;
};
