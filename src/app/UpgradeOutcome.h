#pragma once

#include <string>

namespace tamblor {

// How an upgrade ended, as a value: what the command line's exit status, the fault matrix and
// the fuzzer judge. The log stays the operator's account; both come from the same events.
struct UpgradeOutcome {
    enum class End {
        NotStarted,   // Start upgrade was never taken
        Running,      // the sequence is still at work
        Succeeded,    // every chip the sequence began was completed and verified
        CheckFailed,  // a verdict, erase, preparation, read, send or the device itself failed
        DeviceLost,   // the dock went away in the middle of the sequence
        Unfinished,   // the sequence stopped without a failure, a chip not completed
    };
    End end = End::NotStarted;
    // CheckFailed and DeviceLost: the first line that told the operator of the failure.
    std::string failureLine;
    // Running and Unfinished: the chip whose work was not completed (2, 1 or 3).
    int unfinishedChip = 0;

    bool Succeeded() const { return end == End::Succeeded; }
};

// What the engine learns during a run, from Start upgrade on.
class COutcomeRecorder {
  public:
    enum class Failure { Check, DeviceLost };

    void Start() {
        *this = COutcomeRecorder{};
        m_started = true;
    }
    // The first failure after Start upgrade is the cause; what follows is the sequence giving up.
    void Fail(Failure kind, const std::string& line);
    void Chip2Began() { m_chip2Began = true; }
    void Chip2Ended() { m_chip2Ended = true; }
    void Chip1Began() { m_chip1Began = true; }
    void Chip1Passed() { m_chip1Passed = true; }
    void Chip3Passed() { m_chip3Passed = true; }

    UpgradeOutcome Outcome(bool running) const;

  private:
    bool m_started = false;
    bool m_failed = false;
    Failure m_failure = Failure::Check;
    std::string m_failureLine;
    bool m_chip2Began = false;
    bool m_chip2Ended = false;
    bool m_chip1Began = false;
    bool m_chip1Passed = false;
    bool m_chip3Passed = false;
};

}  // namespace tamblor
