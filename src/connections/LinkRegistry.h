#pragma once

#include "ConnectionParts.h"
#include "Link.h"
#include "LinkFactory.h"
#include "core/Operation.h"

#include <memory>

// Which link each kind of connection has: one row per kind in LinkRegistry.cpp.
namespace LinkRegistry {

using Maker = std::unique_ptr<Link> (*)(const ConnectionParts& parts, LinkFactory& layers);

// The maker of the kind's link; null for a kind without one.
Maker makerOf(LinkKind kind);

} // namespace LinkRegistry
