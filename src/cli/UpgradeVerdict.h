#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/UpgradeOutcome.h"

namespace tamblor {

// Why the upgrade did not succeed, in a few words; empty when it did. What decides the exit
// status of every run, simulated or on a real dock.
std::string FailureOf(const UpgradeOutcome& outcome);

// The operator's reading of the log, which must tell the same story as the outcome (a test ties
// the two for every fault): a line of the sequence that reports a failure: a failed verdict, erase
// or preparation, an abandoned sequence, a failed send, an unusable device or package.
bool IsFailureLine(const std::string& line);

// Why the log does not show a successful upgrade, in a few words; empty when it does: from
// Start upgrade ("Waiting...") on, the log holds no failure line, Chip 3 was verified, and
// every other verdict the sequence began was reached and passed (Chip 1 verified once its
// preparation began, Chip 2's second file finished once its first began).
std::string FailureInLog(const std::vector<std::string>& lines);
inline bool EndedInSuccess(const std::vector<std::string>& lines) {
    return FailureInLog(lines).empty();
}

// The command's last word on an upgrade, for stderr: the log keeps the dock's own texts, which
// do not end in a plain verdict (a good run ends with the rescan of the upgraded dock).
// `failure` empty: every check passed.
std::string VerdictLine(std::string_view failure);

}  // namespace tamblor
