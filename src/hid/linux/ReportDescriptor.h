#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tamblor {

// One top-level collection of a HID report descriptor, with the report lengths the Windows HID
// class driver would give it: the longest report of each kind in bytes, plus the report ID
// byte (which counts even when the device numbers no reports), or 0 when there is none.
struct TopLevelCollection {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
    std::uint16_t featureReportByteLength = 0;
    // IDs of the collection's input reports, ascending; 0 where the descriptor numbers none.
    std::vector<std::uint8_t> inputReportIds{};
};

struct ReportDescriptorInfo {
    std::vector<TopLevelCollection> collections;
    // True when the descriptor declares report IDs. hidraw then prefixes every input report
    // with its ID; without IDs it delivers the bare report.
    bool usesReportIds = false;
};

// Parses a report descriptor as the kernel's sysfs attribute `report_descriptor` holds it.
// Empty when the descriptor is malformed: a truncated item, a Pop without Push, unbalanced
// collections, report ID 0, or a report longer than 65534 bytes.
std::optional<ReportDescriptorInfo> ParseReportDescriptor(std::span<const std::uint8_t> bytes);

}  // namespace tamblor
