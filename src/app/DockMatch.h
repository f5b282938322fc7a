#pragma once

#include <cstdint>

#include "hid/HidPort.h"

namespace tamblor {

// The scan's rule for the dock: the package's vendor and product ID, the expected version
// number, and the vendor collection. `tamblor-cli list` asks the same rule.
bool IsExpectedIdentity(const HidAttributes& attributes, std::uint16_t vendorId,
                        std::uint16_t productId, std::uint16_t versionNumber);
bool IsExpectedCollection(const HidCaps& caps);
// Both, for an interface whose attributes and caps could be read.
bool MatchesDock(const HidInterfaceInfo& info, std::uint16_t vendorId, std::uint16_t productId);

}  // namespace tamblor
