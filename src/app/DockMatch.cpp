#include "DockMatch.h"

#include "hid/LinkState.h"

namespace tamblor {

bool IsExpectedIdentity(const HidAttributes& attributes, std::uint16_t vendorId,
                        std::uint16_t productId, std::uint16_t versionNumber) {
    return attributes.vendorId == vendorId && attributes.productId == productId &&
           attributes.versionNumber == versionNumber;
}

bool IsExpectedCollection(const HidCaps& caps) {
    return caps.usagePage == g_expectedUsagePage && caps.usage == g_expectedUsage;
}

bool MatchesDock(const HidInterfaceInfo& info, std::uint16_t vendorId, std::uint16_t productId) {
    return info.attributes && info.caps &&
           IsExpectedIdentity(*info.attributes, vendorId, productId, g_expectedVersionNumber) &&
           IsExpectedCollection(*info.caps);
}

}  // namespace tamblor
