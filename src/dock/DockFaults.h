#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamblor {

// Misbehaviour the emulated dock can be asked to show, to exercise the host's error paths.
// Chunk counts are totals over the dock's life, across every stream.
struct DockFaults {
    bool ispEraseFail = false;
    bool chip1PrepareFail = false;
    bool chip1EraseFail = false;
    // Chip1EraseStatus polls answered "still erasing" after each Chip1Erase.
    unsigned chip1EraseBusy = 0;
    bool chip3ChecksumWrong = false;
    bool chip1ChecksumWrong = false;
    // The Nth chunk goes unanswered and the dock unplugs.
    std::optional<std::uint64_t> removeAfterChunks;
    // The Nth chunk is answered twice: its acknowledgement and an unasked report.
    std::optional<std::uint64_t> unsolicitedAfterChunks;
    // IspEnter makes the dock leave and never come back.
    bool noReturnAfterIspEnter = false;
    std::optional<std::uint16_t> otherPid;
    std::optional<std::uint16_t> otherVersionNumber;
};

inline constexpr std::uint16_t kDefaultOtherPid = 0xF503;
inline constexpr std::uint16_t kDefaultOtherVersionNumber = 0x0200;

// Applies one fault written as "NAME" or "NAME=VALUE" (see DockFaultHelp). On failure returns
// false, leaves `faults` untouched and explains in `error`.
bool ParseDockFault(std::string_view fault, DockFaults& faults, std::string& error);

// One line per fault name with what it does, for a command line's help text.
std::string DockFaultHelp();

}  // namespace tamblor
