#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "IspReport.h"

namespace tamblor {

// A reply of the dock, decoded once: the sequence reads these fields, never the raw bytes.
// Before any reply came, every field is zero.
struct IspReply {
    bool wellFormed = false;  // bytes 1..4 read code, 0xFE, 0xFF, code
    std::uint8_t code = 0;    // byte 1: kReplyMode, kReplyVersion or a command's group
    // Byte 5: a mode reply's mode bit, the verdict of an erase or a preparation (0 passed), the
    // erase status (0 finished) and the high byte of a checksum.
    std::uint8_t status = 0;
    std::uint16_t checksum = 0;             // bytes 5 (high) and 6 (low)
    std::array<std::uint8_t, 4> version{};  // bytes 5..8 of a version reply
    bool IsMode() const { return wellFormed && code == kReplyMode; }
    bool IsVersion() const { return wellFormed && code == kReplyVersion; }
    bool IspMode() const { return (status & 1) != 0; }
};

IspReply DecodeReply(std::span<const std::uint8_t> report);

}  // namespace tamblor
