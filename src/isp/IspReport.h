#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tamblor {

inline constexpr std::size_t kReportSize = 64;
using Report = std::array<std::uint8_t, kReportSize>;

inline constexpr std::uint8_t kReportId = 2;
inline constexpr std::uint8_t kMarker0 = 0xFE;
inline constexpr std::uint8_t kMarker1 = 0xFF;
inline constexpr std::uint8_t kEndByte = 0x5A;
inline constexpr std::size_t kEndByteIndex = 63;
inline constexpr std::size_t kMaxChunkData = 59;
inline constexpr std::size_t kChunkDataIndex = 4;
inline constexpr std::uint32_t kChip1PageSize = 256;
inline constexpr std::uint32_t kEraseBlockSize = 512;

enum class IspCommand : std::uint8_t {
    IspExit = 2,
    IspEnter = 3,
    IspErase = 4,
    IspChecksum = 5,
    GetMode = 7,
    GetVersion = 8,
    Chip1Prepare = 9,
    Chip1Erase = 10,
    Chip1EraseStatus = 12,
    Chip1Checksum = 13,
    Chip1End = 14,
};

inline constexpr std::uint8_t kReplyMode = 7;
inline constexpr std::uint8_t kReplyVersion = 8;

// Request group byte of a command (3 or 4).
std::uint8_t RequestGroup(IspCommand command);
// End byte of a command report: 0x00 for IspErase and IspChecksum, 0x5A otherwise.
std::uint8_t CommandEndByte(IspCommand command);

// A command report with its header and end byte and an all-zero payload.
Report MakeCommandReport(IspCommand command);

// A data chunk report: length, 16-bit sequence number (low byte first), data, end byte.
Report MakeChunkReport(std::uint16_t sequence, std::span<const std::uint8_t> data);

// True when bytes 1..4 read code, 0xFE, 0xFF, code.
inline bool IsWellFormedReply(std::span<const std::uint8_t> r) {
    return r.size() >= 5 && r[1] == r[4] && r[2] == kMarker0 && r[3] == kMarker1;
}

// True when the report looks like a command report (byte 2-3 markers), as a device sees it.
inline bool IsCommandReport(std::span<const std::uint8_t> r) {
    return r.size() >= 5 && r[2] == kMarker0 && r[3] == kMarker1 && (r[1] == 3 || r[1] == 4);
}

}  // namespace tamblor
