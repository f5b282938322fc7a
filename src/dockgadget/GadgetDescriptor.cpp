#include "GadgetDescriptor.h"

#include "hid/LinkState.h"

namespace tamblor {
namespace {

constexpr std::uint8_t kKeyboard[] = {
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x06,        // Usage (Keyboard)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0xE0,        //   Usage Minimum (Left Control)
    0x29, 0xE7,        //   Usage Maximum (Right GUI)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x08,        //   Report Count (8)
    0x81, 0x02,        //   Input (Data, Variable): modifiers
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x01,        //   Input (Constant): reserved
    0x95, 0x06,        //   Report Count (6)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0x00,  //   Usage Maximum (255)
    0x81, 0x00,        //   Input (Data, Array): keys
    0xC0,              // End Collection
};

constexpr std::uint8_t kDock[] = {
    0x06, 0x00, 0xFF,  // Usage Page (0xFF00, vendor-defined)
    0x09, 0x02,        // Usage (2)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x02,        //   Report ID (2)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x3F,        //   Report Count (63)
    0x09, 0x01,        //   Usage (1)
    0x81, 0x02,        //   Input (Data, Variable)
    0x09, 0x01,        //   Usage (1)
    0x91, 0x02,        //   Output (Data, Variable)
    0xC0,              // End Collection
};

}  // namespace

std::vector<std::uint8_t> GadgetReportDescriptor(bool withKeyboard, bool dockFirst) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(sizeof kKeyboard + sizeof kDock);
    if (withKeyboard && !dockFirst) {
        bytes.insert(bytes.end(), std::begin(kKeyboard), std::end(kKeyboard));
    }
    bytes.insert(bytes.end(), std::begin(kDock), std::end(kDock));
    if (withKeyboard && dockFirst) {
        bytes.insert(bytes.end(), std::begin(kKeyboard), std::end(kKeyboard));
    }
    return bytes;
}

HidCaps DeclaredDockCaps() {
    return HidCaps{g_expectedUsagePage, g_expectedUsage, kGadgetReportLength, kGadgetReportLength};
}

}  // namespace tamblor
