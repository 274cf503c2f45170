#pragma once

#include "ConnectionParts.h"
#include "Link.h"
#include "LinkFactory.h"
#include "SerialPortList.h"
#include "core/Links.h"

#include <memory>
#include <utility>
#include <vector>

// The loader's links, one of each kind LinkRegistry has, made over the layers of the factory
// (Qt's, or a test's fakes), and the serial page's port list.
class Connections : public Links {
public:
    explicit Connections(const ConnectionParts& parts, LinkFactory layers = LinkFactory::qt());
    ~Connections() override;
    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;

    Task<void> open(LinkSettings settings) override;
    void use(const LinkSettings& settings) override;
    void write(LinkKind kind, const QByteArray& text) override;
    void setControlLines(LinkKind kind, bool dtr, bool rts) override;
    void close(LinkKind kind) override;
    void closeAll() override;
    void releaseDevices() override;

    SerialPortList& ports() { return ports_; }

private:
    // Null for a kind without a link.
    Link* linkOf(LinkKind kind) const;

    LinkFactory layers_;
    SerialPortList ports_;
    std::vector<std::pair<LinkKind, std::unique_ptr<Link>>> links_;
};
