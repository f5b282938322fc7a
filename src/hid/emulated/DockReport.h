#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tamblor {

// What the emulated dock holds at the end of a run and what it found wrong with the host.
// Chunk counts are those of the images currently stored (an erase or a new Chip 2 programming
// starts them again); sums are 16-bit byte sums of the stored images.
struct DockReport {
    std::uint32_t chip1Chunks = 0;
    std::array<std::uint32_t, 2> chip2Chunks{};
    std::uint32_t chip3Chunks = 0;
    std::uint16_t chip1Sum = 0;
    std::uint16_t chip3Sum = 0;
    std::vector<std::string> violations;

    // {"chunks":{"chip1":N,"chip2":[N1,N2],"chip3":N},"sums":{"chip1":N,"chip3":N},
    //  "violations":[...]} on one line, without spaces.
    std::string ToJson() const;
};

}  // namespace tamblor
