#pragma once

#include <cstdint>

#include "HidPort.h"
#include "LinkState.h"

namespace tamblor {

// Whether the scan takes this interface for the dock of a package with these IDs: the scan's
// five tests (vendor, product, version number, usage page, usage), in its order.
inline bool IsDockInterface(const HidInterfaceInfo& info, std::uint16_t vendorId,
                            std::uint16_t productId) {
    return info.attributes && info.caps && info.attributes->vendorId == vendorId &&
           info.attributes->productId == productId &&
           info.attributes->versionNumber == g_expectedVersionNumber &&
           info.caps->usagePage == g_expectedUsagePage && info.caps->usage == g_expectedUsage;
}

}  // namespace tamblor
