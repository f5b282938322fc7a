#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "isp/IspReport.h"

namespace tamblor::dock_wire {

// The dock's side of the report layouts: which commands it knows, in which mode, and the
// reports it answers with.

inline constexpr std::uint8_t kStatusOk = 0;
inline constexpr std::uint8_t kStatusFailed = 1;
inline constexpr std::uint8_t kStatusBusy = 1;
// Code of the report a faulty dock sends unasked; no host command has it.
inline constexpr std::uint8_t kUnsolicitedCode = 0xA5;

struct CommandInfo {
    IspCommand code;
    std::string_view name;
    bool inAp;
    bool inIsp;
    // One past the last payload byte the command names; every byte from here to the end byte
    // must be 0.
    std::size_t payloadEnd;
};

constexpr std::array<CommandInfo, 11> kCommands = {{
    {IspCommand::IspExit, "IspExit", false, true, 13},
    {IspCommand::IspEnter, "IspEnter", true, false, 5},
    {IspCommand::IspErase, "IspErase", false, true, 6},
    {IspCommand::IspChecksum, "IspChecksum", false, true, 7},
    {IspCommand::GetMode, "GetMode", true, true, 5},
    {IspCommand::GetVersion, "GetVersion", true, false, 5},
    {IspCommand::Chip1Prepare, "Chip1Prepare", true, false, 5},
    {IspCommand::Chip1Erase, "Chip1Erase", true, false, 5},
    {IspCommand::Chip1EraseStatus, "Chip1EraseStatus", true, false, 5},
    {IspCommand::Chip1Checksum, "Chip1Checksum", true, false, 9},
    {IspCommand::Chip1End, "Chip1End", true, false, 5},
}};

inline const CommandInfo* FindCommand(std::uint8_t code) {
    const auto it = std::find_if(kCommands.begin(), kCommands.end(), [code](const auto& c) {
        return static_cast<std::uint8_t>(c.code) == code;
    });
    return it == kCommands.end() ? nullptr : &*it;
}

inline Report MakeReply(std::uint8_t code, std::initializer_list<std::uint8_t> data = {}) {
    Report r{};
    r[0] = kReportId;
    r[1] = code;
    r[2] = kMarker0;
    r[3] = kMarker1;
    r[4] = code;
    std::copy(data.begin(), data.end(), r.begin() + 5);
    return r;
}

inline Report MakeStatus(IspCommand command, std::uint8_t status) {
    return MakeReply(static_cast<std::uint8_t>(command), {status});
}

inline Report MakeChecksum(IspCommand command, std::uint16_t sum) {
    return MakeReply(static_cast<std::uint8_t>(command),
                     {static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)});
}

// Echoes the chunk's length and sequence number.
inline Report MakeChunkAck(std::span<const std::uint8_t> chunk) {
    Report r{};
    r[0] = kReportId;
    std::copy_n(chunk.begin() + 1, 3, r.begin() + 1);
    return r;
}

}  // namespace tamblor::dock_wire
