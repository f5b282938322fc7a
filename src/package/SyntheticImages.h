#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PackageFormat.h"

namespace tamblor {

// Stand-in firmware images for building and testing packages: pseudo-random bytes from a fixed
// seed, with the lengths of the images the tool ships with and fixed byte sums. They hold no
// byte '5', so no run of them can ever look like a trailer record.
inline constexpr std::array<std::uint32_t, kSegmentCount> kSyntheticLengths = {25856, 5186, 262144,
                                                                               512, 193500};
inline constexpr std::array<std::uint16_t, kSegmentCount> kSyntheticSums = {0xA40F, 0x2F6B, 0x8D14,
                                                                            0x6C5A, 0x7BBE};

// The image of one segment (0 to 4); the same bytes on every call.
std::vector<std::uint8_t> MakeSyntheticImage(std::size_t segment);

// File name of a segment's image in an image directory: "segment0.bin" to "segment4.bin".
const char* SyntheticImageName(std::size_t segment);

}  // namespace tamblor
