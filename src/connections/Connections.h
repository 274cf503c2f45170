#pragma once

#include "ConnectionParts.h"
#include "Link.h"
#include "LinkFactory.h"
#include "core/Links.h"

#include <memory>
#include <utility>
#include <vector>

// The loader's links, one of each kind LinkRegistry has, made over the layers of the factory
// (Qt's, or a test's fakes).
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

    // The serial ports the system has, as the layers list them.
    QStringList systemPorts() const {
        return layers_.systemPorts ? layers_.systemPorts() : QStringList();
    }

private:
    // Null for a kind without a link.
    Link* linkOf(LinkKind kind) const;

    LinkFactory layers_;
    std::vector<std::pair<LinkKind, std::unique_ptr<Link>>> links_;
};
