#pragma once

#include <cstdint>
#include <vector>

#include "hid/HidPort.h"

namespace tamblor {

// The dock's HID interface as the gadget declares it to the host: one vendor-defined
// collection (usage page 0xFF00, usage 2) with report ID 2 and 64-byte input and output
// reports, ID byte included; optionally a keyboard collection (report ID 1) in front of it,
// as a dock with a hub and a keyboard controller would show, or behind it (some HID stacks
// present only a device's first top-level collection).
inline constexpr std::uint8_t kKeyboardReportId = 1;
inline constexpr std::size_t kKeyboardReportSize = 9;  // ID, modifiers, reserved, six keys
inline constexpr std::uint16_t kGadgetReportLength = 64;
// The HID function's report_length, which the kernel also takes for its endpoints' packet size.
// Larger than any report on purpose: a write that fills a whole packet is ended by a
// zero-length packet in a later transaction, and only then does the node turn writable again.
// The host would already hold the report and could answer it before the dock saw its report
// collected. A report shorter than a packet goes in one transaction, and dummy_hcd completes
// the write before it hands the report to the host, so "collected" means just that there
// (another controller may signal the two in either order). High speed allows the size.
inline constexpr std::uint16_t kGadgetEndpointPacketSize = 128;

std::vector<std::uint8_t> GadgetReportDescriptor(bool withKeyboard, bool dockFirst = false);

// The collection the tool looks for, with the lengths the descriptor gives it.
HidCaps DeclaredDockCaps();

}  // namespace tamblor
