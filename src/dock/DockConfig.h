#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "dock/DockExpectation.h"
#include "dock/DockFaults.h"

namespace tamblor {

// Who the emulated dock is and how it behaves: identity, mode, version, faults and what it
// should receive. How a bus presents it (timing, attachment) is that bus's own option.
struct DockConfig {
    std::uint16_t vendorId = 0x10C4;
    std::uint16_t productId = 0xF505;
    std::uint16_t versionNumber = 0x0100;
    std::uint16_t usagePage = 0xFF00;
    std::uint16_t usage = 2;
    std::uint16_t inputReportLength = 64;
    std::uint16_t outputReportLength = 64;
    // Starts in its boot loader instead of its application.
    bool ispMode = false;
    // Letter and three digit values answered to GetVersion.
    std::array<std::uint8_t, 4> version = {'V', 1, 0, 2};
    DockFaults faults;
    // The images and version an honest host writes in this run, with the package's start
    // selector; `ispMode` is the start mode. Null: the dock stores and checks the protocol but
    // cannot judge the images, and its report never passes.
    std::shared_ptr<const DockExpectation> expected;
};

inline std::uint16_t ReportedProductId(const DockConfig& config) {
    return config.faults.otherPid.value_or(config.productId);
}

inline std::uint16_t ReportedVersionNumber(const DockConfig& config) {
    return config.faults.otherVersionNumber.value_or(config.versionNumber);
}

}  // namespace tamblor
