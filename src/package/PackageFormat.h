#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tamblor {

// Layout of the firmware package appended to the tool's executable: R0 S0 R1 S1 ... S4 R5,
// six 34-byte trailer records around five segments, all inside the last 512 KiB of the file.
inline constexpr std::size_t kRecordLength = 34;
inline constexpr std::size_t kSearchWindow = 0x80000;
inline constexpr std::size_t kRecordCount = 6;
inline constexpr std::size_t kSegmentCount = 5;

// Offsets of the fields inside a trailer record.
inline constexpr std::size_t kRecVersionLetter = 3;
inline constexpr std::size_t kRecVersionDigits = 4;
inline constexpr std::size_t kRecDate = 8;
inline constexpr std::size_t kRecDateLength = 10;
inline constexpr std::size_t kRecVendorId = 22;
inline constexpr std::size_t kRecProductId = 27;
inline constexpr std::size_t kRecSelector = 32;
// The four bytes that identify a record: '5' 'A' at 0 and 1, 'Q' 'J' at 19 and 20.
inline constexpr std::array<std::size_t, 4> kSignatureOffsets = {0, 1, 19, 20};
inline constexpr std::array<std::uint8_t, 4> kSignatureBytes = {0x35, 0x41, 0x51, 0x4A};

// Segment roles.
inline constexpr std::size_t kSegChip3 = 0;
inline constexpr std::size_t kSegChip2File1 = 1;
inline constexpr std::size_t kSegChip2File2 = 2;
inline constexpr std::size_t kSegChip1 = 4;

// Longest segment 0 the ISP commands can describe (16-bit length, one-byte block count).
inline constexpr std::uint32_t kMaxChip3Length = 0xFFFF;

// 16-bit byte sum of a run of bytes, continuing from `sum`.
inline std::uint16_t ByteSum(std::span<const std::uint8_t> bytes, std::uint16_t sum = 0) {
    std::uint32_t acc = sum;
    for (const std::uint8_t b : bytes) acc += b;
    return static_cast<std::uint16_t>(acc);
}

// Value of one hexadecimal digit of either case, or -1 for any other character.
constexpr int HexDigitValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Parses exactly four hexadecimal characters (either case), most significant first.
// Returns 0 and stores the value, or 1 and leaves `value` untouched.
int ParseHex4(const std::uint8_t* text, std::uint16_t& value);

}  // namespace tamblor
