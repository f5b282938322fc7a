#include "hid/emulated/StepRun.h"

#include <algorithm>

namespace tamblor {

const char* RunEndName(RunEnd end) {
    switch (end) {
        case RunEnd::Finished:
            return "finished";
        case RunEnd::AwaitingDock:
            return "awaiting the dock";
        case RunEnd::HaltedAfterFailure:
            return "halted after a failure line";
        case RunEnd::Stalled:
            return "STALLED";
        case RunEnd::OutOfSteps:
            return "OUT OF STEPS";
    }
    return "?";
}

CStepRun::CStepRun(const DockConfig& config, const std::filesystem::path& package)
    : m_package(package), m_dock(config), m_engine(m_dock, m_ui) {}

CStepRun::~CStepRun() { m_engine.OnDestroy(); }

void CStepRun::Start() { m_engine.OnInitDialog(m_package); }

bool CStepRun::Step() {
    if (!m_dock.HasEvents()) return false;
    ++m_steps;
    const auto event = m_dock.Take();
    if (!event) return true;
    using Kind = CStepDock::Event::Kind;
    switch (event->kind) {
        case Kind::Reply:
            m_engine.OnDeviceReport(event->report);
            break;
        case Kind::Removal:
            m_engine.OnDeviceChange({DeviceChangeKind::Removal, event->path});
            break;
        case Kind::Arrival:
            m_engine.OnDeviceChange({DeviceChangeKind::Arrival, event->path});
            break;
    }
    return true;
}

bool CStepRun::Settle(std::size_t limit) {
    while (m_dock.HasEvents()) {
        if (m_steps >= limit) return false;
        Step();
    }
    return true;
}

void CStepRun::ForeignArrival() {
    m_engine.OnDeviceChange(
        {DeviceChangeKind::Arrival, "step:keyboard/" + std::to_string(++m_foreign)});
}

bool CStepRun::UpgradeOffered() const {
    std::lock_guard lock(m_ui.m_lock);
    return m_ui.upgradeEnabled;
}

std::vector<std::string> LinesSinceStart(const RecordingUi& ui) {
    std::lock_guard lock(ui.m_lock);
    std::vector<std::string> lines;
    for (const auto& record : ui.records) {
        if (record.hasValue) continue;
        if (record.text == "<clear>") {
            lines.clear();
            continue;
        }
        lines.push_back(record.text);
    }
    return lines;
}

RunOutcome CStepRun::Outcome(bool offered, bool settled) const {
    RunOutcome outcome;
    outcome.offered = offered;
    outcome.lines = LinesSinceStart(m_ui);
    outcome.result = m_engine.Outcome();
    outcome.engineSuccess = outcome.result.Succeeded();
    outcome.oracle = m_dock.Verdict();
    outcome.state = m_engine.UpgradeState();
    outcome.steps = m_steps;
    const bool failureLogged = outcome.result.end == UpgradeOutcome::End::CheckFailed ||
                               outcome.result.end == UpgradeOutcome::End::DeviceLost;
    if (!settled) {
        outcome.end = RunEnd::OutOfSteps;
    } else if (!m_engine.IsUpgradeRunning()) {
        outcome.end = RunEnd::Finished;
    } else if (outcome.state == 9 && !m_dock.IsPresent()) {
        outcome.end = RunEnd::AwaitingDock;
    } else if (failureLogged) {
        outcome.end = RunEnd::HaltedAfterFailure;
    } else {
        outcome.end = RunEnd::Stalled;
    }
    return outcome;
}

RunOutcome RunToEnd(const DockConfig& config, const std::filesystem::path& package,
                    const RunOptions& options) {
    CStepRun run(config, package);
    run.Dock().SetArrivalFirst(options.arrivalFirst);
    if (options.onWrite) {
        run.Dock().SetWriteWatch([&run, &options](std::span<const std::uint8_t> report) {
            options.onWrite(run.Dock(), report);
        });
    }
    run.Start();
    bool settled = run.Settle(options.limit);
    const bool offered = settled && run.UpgradeOffered();
    if (offered) {
        for (int i = 0; i < options.presses; ++i) run.PressStart();
        settled = run.Settle(options.limit);
    }
    return run.Outcome(offered, settled);
}

}  // namespace tamblor
