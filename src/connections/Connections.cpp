#include "Connections.h"

#include "LinkRegistry.h"

Connections::Connections(const ConnectionParts& parts, LinkFactory layers)
    : layers_(std::move(layers)) {
    LinkKind kind = LinkKind::Serial;
    do {
        if (const LinkRegistry::Maker make = LinkRegistry::makerOf(kind)) {
            links_.emplace_back(kind, make(parts, layers_));
        }
        kind = nextLinkKind(kind);
    } while (kind != LinkKind::Serial);
}

Connections::~Connections() = default;

Link* Connections::linkOf(LinkKind kind) const {
    for (const auto& [linkKind, link] : links_) {
        if (linkKind == kind) {
            return link.get();
        }
    }
    return nullptr;
}

Task<void> Connections::open(LinkSettings settings) {
    if (Link* link = linkOf(settings.kind)) {
        co_await link->open(settings);
    }
}

void Connections::use(const LinkSettings& settings) {
    if (Link* link = linkOf(settings.kind)) {
        link->use(settings);
    }
}

void Connections::write(LinkKind kind, const QByteArray& text) {
    if (Link* link = linkOf(kind)) {
        link->write(text);
    }
}

void Connections::setControlLines(LinkKind kind, bool dtr, bool rts) {
    if (Link* link = linkOf(kind)) {
        link->setControlLines(dtr, rts);
    }
}

void Connections::close(LinkKind kind) {
    if (Link* link = linkOf(kind)) {
        link->close();
    }
}

void Connections::closeAll() {
    for (const auto& entry : links_) {
        entry.second->close();
    }
}

void Connections::releaseDevices() {
    for (const auto& entry : links_) {
        entry.second->releaseDevice();
    }
}
