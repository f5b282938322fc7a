#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamblor {

// The verdict of the version policy on a device in AP mode.
struct VersionVerdict {
    std::vector<std::string> lines;  // log lines, in order
    int result = 0;                  // 1: offer the upgrade
    bool resetProgress = false;      // set the progress bar to 0
};

// fileVersion and deviceVersion: letter, then three digit values.
VersionVerdict EvaluateVersion(const std::uint8_t* fileVersion, const std::uint8_t* deviceVersion);

}  // namespace tamblor
