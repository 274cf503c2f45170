#pragma once

#include "ConnectionParts.h"
#include "Link.h"
#include "LinkFactory.h"
#include "TcpSession.h"

// The direct TCP/IP connection to the controller's network adapter (IPEdit, PortNum): the
// bytes go both ways as they are.
class TcpLink : public Link {
public:
    TcpLink(const ConnectionParts& parts, LinkFactory& layers);

    Task<void> open(LinkSettings settings) override;
    void write(const QByteArray& text) override;
    void close() override;

private:
    bool receive(const QByteArray& chunk);

    ConnectionParts parts_;
    TcpSession session_;
};
