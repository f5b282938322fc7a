#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "dock/DockLogic.h"
#include "isp/IspReport.h"

namespace tamblor::test {

// A command report with `payload` from byte 5 on.
inline Report Command(IspCommand command, std::initializer_list<std::uint8_t> payload = {}) {
    Report r = MakeCommandReport(command);
    std::copy(payload.begin(), payload.end(), r.begin() + 5);
    return r;
}

inline Report IspEraseFor(std::size_t length) {
    return Command(IspCommand::IspErase, {static_cast<std::uint8_t>((length + 511) / 512)});
}

inline Report IspChecksumFor(std::size_t length) {
    return Command(IspCommand::IspChecksum,
                   {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
}

inline Report IspExitFor(std::uint16_t sum, std::size_t length,
                         std::array<std::uint8_t, 4> version = {'V', 1, 0, 3}) {
    return Command(IspCommand::IspExit,
                   {static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum),
                    static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                    version[0], version[1], version[2], version[3]});
}

inline Report Chip1ChecksumFor(std::size_t length) {
    return Command(
        IspCommand::Chip1Checksum,
        {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
         static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
}

// Bytes that differ from one offset to the next, so a misplaced chunk changes the sum.
inline std::vector<std::uint8_t> Pattern(std::size_t length, std::uint8_t seed = 7) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 8));
    return bytes;
}

// The image cut as the host cuts it: up to 59 bytes a chunk, and with `paged` never across
// a 256-byte page.
inline std::vector<Report> Chunks(std::span<const std::uint8_t> image, bool paged = false) {
    std::vector<Report> chunks;
    std::size_t offset = 0;
    std::uint16_t sequence = 0;
    while (offset < image.size()) {
        std::size_t length = std::min(kMaxChunkData, image.size() - offset);
        if (paged) length = std::min<std::size_t>(length, kChip1PageSize - offset % kChip1PageSize);
        chunks.push_back(MakeChunkReport(++sequence, image.subspan(offset, length)));
        offset += length;
    }
    return chunks;
}

inline std::vector<Report> Concat(std::initializer_list<std::vector<Report>> parts) {
    std::vector<Report> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Feeds every report and returns the dock's answer to each.
inline std::vector<DockActions> Feed(CDockLogic& dock, const std::vector<Report>& script) {
    std::vector<DockActions> actions;
    for (const auto& report : script) actions.push_back(dock.OnHostReport(report));
    return actions;
}

// Bytes 5 and 6 of a reply as the host reads a checksum.
inline std::uint16_t Checksum(const Report& reply) {
    return static_cast<std::uint16_t>(reply[5] << 8 | reply[6]);
}

}  // namespace tamblor::test
