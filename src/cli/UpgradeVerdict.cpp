#include "UpgradeVerdict.h"

#include <algorithm>
#include <array>

namespace tamblor {
namespace {

constexpr std::string_view kStartLine = "Waiting...";
constexpr std::string_view kChip3Pass = "Chip 3 Checksum pass, ISP Success!";
constexpr std::string_view kChip1Pass = "Chip 1 Checksum pass, ISP Success!";
constexpr std::string_view kChip1Begins = "WORK_PREPARE..";
constexpr std::string_view kChip2Begins = "Chip 2 File 1/2 :";
constexpr std::string_view kChip2Ends = "File 2/2 End, ISP Chip 2 FINISH";

constexpr std::array<std::string_view, 9> kFailureLines = {
    "ISP false!",
    "ISP Chip 1 FLASH ERROR!",
    "ISP Chip 1 ERASE ERROR!",
    "ISP Chip 3 ERASE ERROR!",
    "ISP Chip 3 false!",
    "Error!, restart please.",
    "ISP file read error!",
    "device Error!",
    "file Error!",
};
// Lines that carry a value after a fixed start.
constexpr std::array<std::string_view, 2> kFailurePrefixes = {
    "Chip 1 checksum cul:",
    "Send Error,",
};
// The loader's "ISP error %d!".
constexpr std::string_view kLoaderErrorStart = "ISP error ";

}  // namespace

bool IsFailureLine(const std::string& line) {
    const std::string_view text = line;
    if (std::find(kFailureLines.begin(), kFailureLines.end(), text) != kFailureLines.end()) {
        return true;
    }
    if (std::any_of(kFailurePrefixes.begin(), kFailurePrefixes.end(),
                    [&](std::string_view prefix) { return text.starts_with(prefix); })) {
        return true;
    }
    return text.starts_with(kLoaderErrorStart) && text.ends_with("!");
}

std::string FailureInLog(const std::vector<std::string>& lines) {
    const auto start = std::find(lines.begin(), lines.end(), kStartLine);
    if (start == lines.end()) return "the upgrade never started";
    bool chip3Passed = false;
    bool chip1Began = false;
    bool chip1Passed = false;
    bool chip2Began = false;
    bool chip2Ended = false;
    for (auto it = start; it != lines.end(); ++it) {
        const std::string_view line = *it;
        // The first failure is the cause; what follows it is the sequence giving up.
        if (IsFailureLine(*it)) return "the log says \"" + *it + "\"";
        chip3Passed = chip3Passed || line == kChip3Pass;
        chip1Began = chip1Began || line == kChip1Begins;
        chip1Passed = chip1Passed || line == kChip1Pass;
        chip2Began = chip2Began || line.starts_with(kChip2Begins);
        chip2Ended = chip2Ended || line == kChip2Ends;
    }
    if (chip2Began && !chip2Ended) return "Chip 2 was not finished";
    if (chip1Began && !chip1Passed) return "Chip 1 was not verified";
    if (!chip3Passed) return "Chip 3 was not verified";
    return {};
}

std::string FailureOf(const UpgradeOutcome& outcome) {
    using End = UpgradeOutcome::End;
    switch (outcome.end) {
        case End::Succeeded:
            return {};
        case End::NotStarted:
            return "the upgrade never started";
        case End::CheckFailed:
        case End::DeviceLost:
            return "the log says \"" + outcome.failureLine + "\"";
        case End::Running:
        case End::Unfinished:
            break;
    }
    if (outcome.unfinishedChip == 2) return "Chip 2 was not finished";
    if (outcome.unfinishedChip == 1) return "Chip 1 was not verified";
    return "Chip 3 was not verified";
}

std::string VerdictLine(std::string_view failure) {
    if (failure.empty()) return "upgrade succeeded: every check passed";
    return "upgrade failed: " + std::string(failure);
}

}  // namespace tamblor
