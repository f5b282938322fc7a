#include "UpgradeOutcome.h"

namespace tamblor {

void COutcomeRecorder::Fail(Failure kind, const std::string& line) {
    if (!m_started || m_failed) return;
    m_failed = true;
    m_failure = kind;
    m_failureLine = line;
}

UpgradeOutcome COutcomeRecorder::Outcome(bool running) const {
    using End = UpgradeOutcome::End;
    UpgradeOutcome outcome;
    if (!m_started) return outcome;
    if (m_failed) {
        outcome.end = m_failure == Failure::DeviceLost ? End::DeviceLost : End::CheckFailed;
        outcome.failureLine = m_failureLine;
        return outcome;
    }
    // Chip 2 comes first, then Chip 1, and Chip 3 closes every run.
    if (m_chip2Began && !m_chip2Ended) {
        outcome.unfinishedChip = 2;
    } else if (m_chip1Began && !m_chip1Passed) {
        outcome.unfinishedChip = 1;
    } else if (!m_chip3Passed) {
        outcome.unfinishedChip = 3;
    }
    if (outcome.unfinishedChip == 0) {
        outcome.end = End::Succeeded;
    } else {
        outcome.end = running ? End::Running : End::Unfinished;
    }
    return outcome;
}

}  // namespace tamblor
