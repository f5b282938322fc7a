// The hidraw report-descriptor parser and the HID_ID parser on arbitrary bytes: both read what
// sysfs and udev hand over, which a device or a driver can fill with anything.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzCheck.h"
#include "HidrawDiscovery.h"
#include "ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tamblor;
    using namespace tamblor::fuzz;
    if (const auto info = ParseReportDescriptor({data, size})) {
        // Discovery lists one interface per collection, or one without caps for none.
        const HidrawNode node{"fuzz", HidAttributes{0x10C4, 0xF505, 0x0100}, info};
        const auto interfaces = ToInterfaces({node});
        const std::size_t expected = info->collections.empty() ? 1 : info->collections.size();
        FuzzCheck(interfaces.size() == expected, "interfaces other than the collections");
        for (std::size_t i = 0; i < info->collections.size(); ++i) {
            FuzzCheck(interfaces[i].caps.has_value() &&
                          interfaces[i].caps->usagePage == info->collections[i].usagePage &&
                          interfaces[i].caps->usage == info->collections[i].usage,
                      "an interface with another collection's usage");
        }
    }

    // The same bytes as the text of a HID_ID property (up to the first NUL, as udev gives it).
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto attributes = ParseHidId(text.c_str())) {
        char again[32];
        std::snprintf(again, sizeof again, "0003:%08X:%08X", attributes->vendorId,
                      attributes->productId);
        const auto reread = ParseHidId(again);
        FuzzCheck(reread && reread->vendorId == attributes->vendorId &&
                      reread->productId == attributes->productId,
                  "HID_ID does not read back");
    }
    return 0;
}
