#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace tamblor {

// What an honest host writes into the dock in one run: the package's images, its version
// and the start selector that picks the chips. With it the dock can judge every byte it
// stores instead of trusting sums.
struct DockExpectation {
    std::vector<std::uint8_t> chip3;                 // segment 0
    std::array<std::vector<std::uint8_t>, 2> chip2;  // segments 1 and 2, file 1/2 and 2/2
    std::vector<std::uint8_t> chip1;                 // segment 4
    std::array<std::uint8_t, 4> version{};           // letter, then the three digit values
    char startSelector = '1';
};

// The chips a run programs, chosen as the Start-upgrade command chooses its first state.
struct DueChips {
    bool chip1 = false;
    bool chip2 = false;
    bool chip3 = true;
};
DueChips ChipsDue(bool startsInIspMode, char startSelector);

// The expectation read from a package file with the tool's own loader; null when the file
// holds no loadable package (the run then cannot be judged).
std::shared_ptr<const DockExpectation> LoadDockExpectation(const std::filesystem::path& package);

}  // namespace tamblor
