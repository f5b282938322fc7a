#include "IspCommands.h"

namespace tamblor {
namespace {

constexpr std::size_t kPayload = 5;

void PutBigEndian16(Report& r, std::size_t at, std::uint32_t value) {
    r[at] = static_cast<std::uint8_t>(value >> 8);
    r[at + 1] = static_cast<std::uint8_t>(value);
}

}  // namespace

Report MakeIspExit(std::uint16_t chip3Checksum, std::uint32_t chip3Length,
                   const std::array<std::uint8_t, 4>& version) {
    auto r = MakeCommandReport(IspCommand::IspExit);
    PutBigEndian16(r, kPayload, chip3Checksum);
    PutBigEndian16(r, kPayload + 2, chip3Length);
    for (std::size_t i = 0; i < version.size(); ++i) r[kPayload + 4 + i] = version[i];
    return r;
}

Report MakeIspErase(std::uint32_t chip3Length) {
    auto r = MakeCommandReport(IspCommand::IspErase);
    r[kPayload] = static_cast<std::uint8_t>(chip3Length / kEraseBlockSize +
                                            (chip3Length % kEraseBlockSize != 0 ? 1 : 0));
    return r;
}

Report MakeIspChecksum(std::uint32_t chip3Length) {
    auto r = MakeCommandReport(IspCommand::IspChecksum);
    PutBigEndian16(r, kPayload, chip3Length);
    return r;
}

Report MakeChip1Checksum(std::uint32_t chip1Length) {
    auto r = MakeCommandReport(IspCommand::Chip1Checksum);
    for (std::size_t i = 0; i < 4; ++i)
        r[kPayload + i] = static_cast<std::uint8_t>(chip1Length >> (24 - 8 * i));
    return r;
}

}  // namespace tamblor
