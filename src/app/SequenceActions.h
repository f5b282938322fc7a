#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "isp/IspReport.h"

namespace tamblor {

// What the upgrade sequence asks of the engine, as values. The engine carries them out in
// their order: the log, the window and the link see them exactly as listed.
namespace sequence {

// A line of the operator's log.
struct Line {
    std::string text;
    bool operator==(const Line&) const = default;
};
// A line that tells of a failure; the outcome notes the first one.
struct Failure {
    std::string text;
    bool deviceLost = false;  // the dock left in the middle of the sequence
    bool operator==(const Failure&) const = default;
};
// A progress line with the bar's value.
struct Progress {
    std::string text;
    int value = 0;
    bool operator==(const Progress&) const = default;
};
// The progress bar's fill colour, repainted.
struct Fill {
    std::uint32_t argb = 0;
    bool operator==(const Fill&) const = default;
};
// The progress bar's position.
struct Position {
    int value = 0;
    bool operator==(const Position&) const = default;
};
// A command report, written only while the dock is connected; `answered`: the dock owes an
// answer to it.
struct Command {
    Report report{};
    bool answered = false;
    bool operator==(const Command&) const = default;
};
// A chunk of the package file (`length` bytes at `offset`) sent under its sequence number; the
// dock answers it. When the file cannot deliver the bytes, nothing is sent and the engine
// tells the sequence (ChunkUnreadable).
struct Chunk {
    std::uint16_t number = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    bool operator==(const Chunk&) const = default;
};
// A step of the run the outcome counts.
enum class Milestone { Chip2Began, Chip2Ended, Chip1Began, Chip1Passed, Chip3Passed };

}  // namespace sequence

using SequenceAction =
    std::variant<sequence::Line, sequence::Failure, sequence::Progress, sequence::Fill,
                 sequence::Position, sequence::Command, sequence::Chunk, sequence::Milestone>;
using SequenceActions = std::vector<SequenceAction>;

}  // namespace tamblor
