#pragma once

#include <array>
#include <cstdint>

#include "IspReport.h"

namespace tamblor {

// The host's command reports, each written from its one declared payload layout (bytes from
// index 5 on). The dock reads these bytes on its own terms and shares none of this.

// IspExit: the Chip 3 checksum (5 high, 6 low), Chip 3's length (7 high, 8 low), the package's
// version (9..12).
Report MakeIspExit(std::uint16_t chip3Checksum, std::uint32_t chip3Length,
                   const std::array<std::uint8_t, 4>& version);
// IspErase: the number of erase blocks Chip 3 takes (5).
Report MakeIspErase(std::uint32_t chip3Length);
// IspChecksum: Chip 3's length (5 high, 6 low).
Report MakeIspChecksum(std::uint32_t chip3Length);
// Chip1Checksum: Chip 1's length, 32 bits high byte first (5..8).
Report MakeChip1Checksum(std::uint32_t chip1Length);

}  // namespace tamblor
