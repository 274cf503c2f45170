#include "LinkRegistry.h"

#include "BrokerLink.h"
#include "SerialLink.h"
#include "TcpLink.h"

#include <utility>

namespace {

template <typename Kind>
std::unique_ptr<Link> make(const ConnectionParts& parts, LinkFactory& layers) {
    return std::make_unique<Kind>(parts, layers);
}

const std::pair<LinkKind, LinkRegistry::Maker> kMakers[] = {
    {LinkKind::Serial, make<SerialLink>},
    {LinkKind::Tcp, make<TcpLink>},
    {LinkKind::Broker, make<BrokerLink>},
};

} // namespace

LinkRegistry::Maker LinkRegistry::makerOf(LinkKind kind) {
    for (const auto& [rowKind, maker] : kMakers) {
        if (rowKind == kind) {
            return maker;
        }
    }
    return nullptr;
}
