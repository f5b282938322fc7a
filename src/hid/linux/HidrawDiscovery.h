#pragma once

#include <libudev.h>

#include <optional>
#include <string>
#include <vector>

#include "ReportDescriptor.h"
#include "hid/HidPort.h"

namespace tamblor {

// What sysfs tells about one hidraw node, without opening it.
struct HidrawNode {
    std::string devnode;
    std::optional<HidAttributes> attributes;         // empty without a HID parent or HID_ID
    std::optional<ReportDescriptorInfo> descriptor;  // empty when unreadable or malformed
    std::string place{};  // "BUSNUM-DEVPATH" of the USB device; empty on other buses
};

// Every hidraw node present, in udev's order.
std::vector<HidrawNode> EnumerateHidrawNodes(udev& context);

// One entry per top-level collection, all with the node's path, as the Windows HID stack would
// list them; a node whose collections are unknown gives one entry without caps.
std::vector<HidInterfaceInfo> ToInterfaces(const std::vector<HidrawNode>& nodes);

// The USB port chain "BUSNUM-DEVPATH" from the usb_device's attributes, or empty when either is
// missing or is not made of digits (and dots, between digits, in the devpath).
std::string PlaceOf(const char* busnum, const char* devpath);

// The place of a hidraw node's USB device, or empty when it has none.
std::string ReadPlace(udev_device& node);

// Parses HID_ID ("BBBB:VVVVVVVV:PPPPPPPP", hexadecimal) into vendor and product ID.
std::optional<HidAttributes> ParseHidId(const char* hidId);

}  // namespace tamblor
