#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RecordingUi.h"
#include "app/TamblorEngine.h"
#include "app/UpgradeOutcome.h"
#include "hid/emulated/StepDock.h"

namespace tamblor {

// How a run stands once nothing is left to happen.
enum class RunEnd {
    Finished,            // idle or ended (states 0 and 17)
    AwaitingDock,        // state 9 with the dock gone: the engine waits for it to come back
    HaltedAfterFailure,  // mid-sequence, but a failure line told the operator
    Stalled,             // mid-sequence, nothing left to happen, and not a word about it
    OutOfSteps,          // still busy when the bound on delivered items ran out
};

const char* RunEndName(RunEnd end);

struct RunOutcome {
    bool offered = false;  // Start upgrade was enabled when the operator came to press it
    // The window's log since the last Start upgrade (the whole log when there was none).
    std::vector<std::string> lines;
    UpgradeOutcome result;       // how the engine says the upgrade ended
    bool engineSuccess = false;  // result.Succeeded()
    DockReport oracle;
    RunEnd end = RunEnd::Finished;
    std::uint8_t state = 0;
    std::size_t steps = 0;  // items delivered: the run's length in simulated time

    // What the command line's exit status would say: 0 only for this.
    bool Succeeded() const { return offered && engineSuccess && oracle.Passed(); }
    bool Ended() const {
        return end == RunEnd::Finished || end == RunEnd::AwaitingDock ||
               end == RunEnd::HaltedAfterFailure;
    }
};

// The engine, a recording window and the step dock on one thread: start-up, the scan, Start
// upgrade and the sequence, each item of the dock handed to the engine in turn.
class CStepRun {
  public:
    CStepRun(const DockConfig& config, const std::filesystem::path& package);
    ~CStepRun();
    CStepRun(const CStepRun&) = delete;
    CStepRun& operator=(const CStepRun&) = delete;

    // The window's start-up: I/O threads, package, scan.
    void Start();
    // Hands the next item to the engine. False when there was none.
    bool Step();
    // Steps until nothing is left or `limit` items have been delivered in all; false when the
    // limit ran out first.
    bool Settle(std::size_t limit);
    void PressStart() { m_engine.OnStartUpgrade(); }
    // Another HID interface arrives (a keyboard plugged in): the engine hears of it.
    void ForeignArrival();

    bool UpgradeOffered() const;
    // How things stand now; `settled` says whether the last Settle emptied the queue.
    RunOutcome Outcome(bool offered, bool settled) const;

    CStepDock& Dock() { return m_dock; }
    CTamblorEngine& Engine() { return m_engine; }
    RecordingUi& Ui() { return m_ui; }
    std::size_t Steps() const { return m_steps; }

  private:
    std::filesystem::path m_package;
    CStepDock m_dock;
    RecordingUi m_ui;
    CTamblorEngine m_engine;
    std::size_t m_steps = 0;
    std::uint64_t m_foreign = 0;
};

// The window's log since the last Start upgrade, as plain lines.
std::vector<std::string> LinesSinceStart(const RecordingUi& ui);

struct RunOptions {
    bool arrivalFirst = false;  // see CStepDock::SetArrivalFirst
    int presses = 1;            // Start upgrade pressed this many times in a row
    std::size_t limit = 200000;
    // Sees every report the host writes before the dock does (it may inject a report, which
    // then reaches the host ahead of the dock's answer).
    std::function<void(CStepDock&, std::span<const std::uint8_t>)> onWrite;
};

// The whole run the command line makes: start-up, Start upgrade when offered, then everything
// until nothing is left, within the limit.
RunOutcome RunToEnd(const DockConfig& config, const std::filesystem::path& package,
                    const RunOptions& options = {});

}  // namespace tamblor
