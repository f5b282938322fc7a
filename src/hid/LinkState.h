#pragma once

#include <cstdint>
#include <string>

namespace tamblor {

// The link to the device as the last scan left it. The engine's lock guards it.
struct LinkState {
    int g_deviceConnected = 0;
    // 1 when the last examined interface carried the expected vendor ID, 0 when it carried
    // another; not reset by a scan, so it explains a failed one.
    int g_vendorMatched = 0;
    // Product ID of the last examined interface of the expected vendor with another product.
    std::uint16_t g_devicePid = 0x3305;
    int g_readOpen = 0;
    int g_writeOpen = 0;
    std::uint16_t g_inputReportLength = 0;
    std::uint16_t g_outputReportLength = 0;
    std::string g_devicePath;
    // The last scan found nothing usable but met an interface with the package's vendor and
    // product IDs and version number whose collections could not be read (a truncated,
    // unbalanced or empty report descriptor, say): the device is there but unusable.
    bool unreadableCaps = false;
    // The last scan found the package's device at `refusedPlace`, but another copy of the tool
    // holds that place (it is upgrading the dock there): left alone until that copy lets go.
    bool claimRefused = false;
    std::string refusedPlace;
};

inline constexpr std::uint16_t g_expectedUsagePage = 0xFF00;
inline constexpr std::uint16_t g_expectedUsage = 0x0002;
inline constexpr std::uint16_t g_expectedVersionNumber = 0x0100;
// Reports longer than this do not fit the report buffers; such a device is unusable.
inline constexpr std::uint16_t kMaxReportLength = 64;
// The report ID byte and at least one byte after it: a shorter report carries nothing, so a
// device whose input or output reports are shorter (or missing: length 0) is unusable.
inline constexpr std::uint16_t kMinReportLength = 2;

}  // namespace tamblor
