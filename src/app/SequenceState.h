#pragma once

#include <cstdint>

namespace tamblor {

// The upgrade sequence's state. The numbers are those the tool has always used (tests, logs
// of past runs and the fuzz corpora speak of them), so each name keeps its number.
enum class SequenceState : std::uint8_t {
    Idle = 0,
    Chip2File1Begin = 2,
    Chip2File1Sending = 3,
    Chip2File2Begin = 5,
    Chip2File2Sending = 6,
    SwitchToIsp = 8,     // the dock is asked to restart into (or out of) its boot loader
    AwaitIspDevice = 9,  // waiting for the dock to come back in ISP mode
    Chip3Erasing = 10,
    Chip3Verifying = 11,
    Chip3Sending = 12,
    Ended = 17,
    Chip1Prepare = 18,
    Chip1Preparing = 19,
    Chip1Erasing = 20,
    Chip1EraseWaiting = 21,
    Chip1Sending = 22,
    Chip1Verifying = 24,
};

// True while a chip is being worked on: every state but idle and ended.
constexpr bool IsRunning(SequenceState state) {
    return state != SequenceState::Idle && state != SequenceState::Ended;
}

constexpr std::uint8_t StateNumber(SequenceState state) { return static_cast<std::uint8_t>(state); }

}  // namespace tamblor
