// Several docks in one run: which ones, and each one's way from its scan to its verdict.
#include "DockFleet.h"

#include <algorithm>

#include "CliSession.h"
#include "DeviceUpgrade.h"
#include "DockUi.h"
#include "StopSignals.h"
#include "UpgradeVerdict.h"
#include "app/DockMatch.h"
#include "app/PlaceView.h"
#include "app/TamblorEngine.h"
#include "package/VersionPolicy.h"

namespace tamblor {

using Clock = std::chrono::steady_clock;

namespace {

// How often the start looks at the bus while it waits for docks, besides on device changes.
constexpr auto kLookEvery = std::chrono::milliseconds(100);

// The version policy's own last word for a dock that needs nothing.
constexpr std::string_view kCurrentLine = "Don't need to upgrade!";

}  // namespace

struct FleetDock {
    enum class Phase { Scan, Run, Return, Done };

    FleetDock(IHidBus& bus, CCliSession& loop, IFleetOutput& output, std::string where,
              std::string firstPath)
        : place(std::move(where)),
          path(std::move(firstPath)),
          view(bus, place),
          ui(loop, output, place),
          engine(std::make_unique<CTamblorEngine>(view, ui)) {}

    std::string place;
    std::string path;
    CPlaceView view;
    CDockUi ui;
    std::unique_ptr<CTamblorEngine> engine;  // null once the dock had its verdict
    Phase phase = Phase::Scan;
    bool started = false;
    bool away = false;  // left in the middle of its sequence
    Clock::time_point returnSince{};
};

CDockFleet::CDockFleet(IHidBus& bus, CCliSession& loop, IFleetOutput& output, FleetPlan plan)
    : m_bus(bus), m_loop(loop), m_output(output), m_plan(std::move(plan)) {}

CDockFleet::~CDockFleet() { Close(); }

std::vector<CDockFleet::Found> CDockFleet::MatchingDocks() {
    std::vector<Found> found;
    for (const auto& info : m_bus.EnumerateInterfaces()) {
        if (!MatchesDock(info, m_plan.package.g_packageVid, m_plan.package.g_packagePid)) continue;
        const bool known = std::any_of(found.begin(), found.end(),
                                       [&](const Found& f) { return f.place == info.place; });
        if (!known) found.push_back({info.place, info.path});
    }
    return found;
}

bool CDockFleet::Tick() {
    const auto now = Clock::now();
    if (m_choosing) Choose(now);
    if (m_plan.watch && !m_choosing && m_lookAgain) WatchForNewDocks();
    for (auto& dock : m_docks) Advance(*dock, now);
    if (m_choosing || m_plan.watch) return false;
    return std::all_of(m_docks.begin(), m_docks.end(),
                       [](const auto& dock) { return dock->phase == FleetDock::Phase::Done; });
}

void CDockFleet::Choose(Clock::time_point now) {
    if (!m_lookAgain && now - m_lastLook < kLookEvery) return;
    m_lookAgain = false;
    m_lastLook = now;
    const auto found = MatchingDocks();
    const bool waitOver = now - m_begin >= m_plan.wait;
    if (!m_lookedOnce && !waitOver) NoteWhatIsAwaited(found);
    m_lookedOnce = true;
    if (m_plan.watch) {
        m_choosing = false;
        m_lookAgain = true;
        return;
    }
    if (m_plan.all) {
        if (found.empty()) {
            if (waitOver) {
                m_choosing = false;
                m_noneFound = true;
            }
            return;
        }
        for (const auto& dock : found) Adopt(dock);
        m_choosing = false;
        return;
    }
    if (!m_plan.places.empty()) {
        // Each place is taken as soon as its dock is there.
        for (const auto& dock : found) {
            const bool wanted = std::find(m_plan.places.begin(), m_plan.places.end(), dock.place) !=
                                m_plan.places.end();
            const bool taken = std::any_of(m_docks.begin(), m_docks.end(),
                                           [&](const auto& d) { return d->place == dock.place; });
            if (wanted && !taken) Adopt(dock);
        }
        if (m_docks.size() < m_plan.places.size() && !waitOver) return;
        m_choosing = false;
        if (m_docks.empty()) {
            m_noneFound = true;
            return;
        }
        for (const auto& place : m_plan.places) {
            const bool taken = std::any_of(m_docks.begin(), m_docks.end(),
                                           [&](const auto& d) { return d->place == place; });
            if (taken) continue;
            DockResult missing;
            missing.place = place;
            missing.verdict = DockVerdict::Missing;
            missing.failure = "no dock came at " + place + " within " +
                              std::to_string(m_plan.wait.count() / 1000) + " s";
            m_output.Outcome(missing);
            m_results.push_back(std::move(missing));
        }
        return;
    }
    if (found.size() > 1) {
        for (const auto& dock : found) m_refused.push_back(dock.place);
        m_choosing = false;
        return;
    }
    if (found.size() == 1) {
        Adopt(found.front());
        m_choosing = false;
    } else if (waitOver) {
        m_choosing = false;
        m_noneFound = true;
    }
}

void CDockFleet::NoteWhatIsAwaited(const std::vector<Found>& found) {
    // The station says what it does in its own words.
    if (m_plan.watch) return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_plan.wait);
    if (m_plan.places.empty()) {
        if (found.empty()) m_waitingNote = NoDockWaitingText(m_plan.package, seconds);
        return;
    }
    std::string missing;
    std::size_t count = 0;
    for (const auto& place : m_plan.places) {
        const bool there = std::any_of(found.begin(), found.end(),
                                       [&](const Found& f) { return f.place == place; });
        if (there) continue;
        missing += (missing.empty() ? "" : ", ") + place;
        ++count;
    }
    if (count == 0) return;
    m_waitingNote = "waiting up to " + std::to_string(seconds.count()) + " s" +
                    (count == 1 ? " for the dock at " : " for the docks at ") + missing +
                    " (Ctrl-C stops)";
}

void CDockFleet::WatchForNewDocks() {
    m_lookAgain = false;
    const auto found = MatchingDocks();
    // A settled place whose dock has gone is free for the next dock plugged in there.
    std::erase_if(m_settledPlaces, [&](const std::string& place) {
        return std::none_of(found.begin(), found.end(),
                            [&](const Found& f) { return f.place == place; });
    });
    for (const auto& dock : found) {
        if (m_settledPlaces.contains(dock.place)) continue;
        const bool active = std::any_of(m_docks.begin(), m_docks.end(), [&](const auto& d) {
            return d->place == dock.place && d->phase != FleetDock::Phase::Done;
        });
        if (!active) Adopt(dock);
    }
}

void CDockFleet::Adopt(const Found& found) {
    auto dock = std::make_unique<FleetDock>(m_bus, m_loop, m_output, found.place, found.path);
    CTamblorEngine* engine = dock->engine.get();
    dock->view.SetDeviceChangeSink([engine](const DeviceChange& c) { engine->OnDeviceChange(c); });
    m_output.Found(found.place, found.path);
    m_output.Stage(found.place, "scan");
    {
        // The engine's threads never take the stop signals; the loop's thread does.
        CStopSignalsBlocked shield;
        engine->OnInitDialog(m_plan.packagePath);
    }
    m_docks.push_back(std::move(dock));
}

void CDockFleet::OnDeviceChange(const DeviceChange& change) {
    for (auto& dock : m_docks) {
        if (!dock->engine) continue;
        // Told before the engine hears of it, while the link still names the path.
        if (dock->phase == FleetDock::Phase::Run && change.kind == DeviceChangeKind::Removal &&
            change.path == dock->engine->Link().g_devicePath) {
            m_output.Restart(dock->place);
        }
        dock->view.Notify(change);
    }
    m_lookAgain = true;
}

void CDockFleet::Advance(FleetDock& dock, Clock::time_point now) {
    // Asked of the dock first and of the queue second: once the dock has nothing left to do,
    // the engine has posted all it will post about it.
    const bool quiet = m_plan.quiet && m_plan.quiet(dock.place) && m_loop.QueueEmpty();
    const auto silentFor = now - dock.ui.LastActivity();
    switch (dock.phase) {
        case FleetDock::Phase::Scan: {
            const auto& lines = dock.ui.Lines();
            if (dock.ui.UpgradeEnabled()) {
                if (m_plan.queryOnly) {
                    Finish(dock, DockVerdict::Queried, {});
                    return;
                }
                dock.engine->OnStartUpgrade();
                dock.started = true;
                dock.phase = FleetDock::Phase::Run;
                m_output.Stage(dock.place, "upgrade");
            } else if (dock.engine->Link().claimRefused) {
                Finish(dock, DockVerdict::Busy,
                       "another copy of tamblor is upgrading the dock at " + dock.place);
            } else if (std::find(lines.begin(), lines.end(), kCurrentLine) != lines.end()) {
                Finish(dock, m_plan.queryOnly ? DockVerdict::Queried : DockVerdict::Current, {});
            } else if (quiet || silentFor > m_plan.offerWait) {
                Finish(dock, m_plan.queryOnly ? DockVerdict::Queried : DockVerdict::Failed,
                       dock.engine->Link().g_deviceConnected != 0
                           ? "the upgrade was not offered"
                           : "the dock at " + dock.place + " went away before its upgrade");
            }
            return;
        }
        case FleetDock::Phase::Run: {
            const bool connected = dock.engine->Link().g_deviceConnected != 0;
            if (!connected && !dock.away) {
                dock.away = true;
                m_output.Stage(dock.place, "restart");
            } else if (connected && dock.away) {
                dock.away = false;
                m_output.Stage(dock.place, "upgrade");
            }
            if (!connected && quiet) {
                // Gone, and nothing is left to happen at its place: it will not come back.
                FinishByOutcome(dock);
            } else if (!dock.engine->IsUpgradeRunning()) {
                dock.phase = FleetDock::Phase::Return;
                dock.returnSince = now;
                m_output.Stage(dock.place, "return");
            } else if (silentFor > m_plan.sequenceWait) {
                Finish(dock, DockVerdict::Failed,
                       "the dock stopped answering in the middle of the upgrade");
            }
            return;
        }
        case FleetDock::Phase::Return:
            // A real dock gives no sign that it has finished: it comes back, or it does not.
            if (quiet || now - dock.returnSince > m_plan.returnWait) FinishByOutcome(dock);
            return;
        case FleetDock::Phase::Done:
            return;
    }
}

void CDockFleet::FinishByOutcome(FleetDock& dock) {
    std::string failure = FailureOf(dock.engine->Outcome());
    if (failure.empty() && m_plan.judge) failure = m_plan.judge(dock.place);
    const auto verdict = failure.empty() ? DockVerdict::Passed : DockVerdict::Failed;
    Finish(dock, verdict, std::move(failure));
}

void CDockFleet::Finish(FleetDock& dock, DockVerdict verdict, std::string failure, bool stopped) {
    DockResult result;
    result.place = dock.place;
    result.path = dock.path;
    result.verdict = verdict;
    result.failure = std::move(failure);
    result.started = dock.started;
    result.outcome = dock.engine->Outcome();
    dock.engine->OnDestroy();
    result.sighting = dock.view.Sighting();
    if (verdict == DockVerdict::Queried) {
        result.wouldUpgrade = dock.ui.UpgradeEnabled();
    }
    dock.engine.reset();
    dock.ui.Silence();
    dock.phase = FleetDock::Phase::Done;
    // A dock cut off by a stop has not come to the end of its sequence, whatever comes of it.
    m_output.Stage(dock.place, stopped ? "stopped" : "done");
    m_output.Outcome(result);
    if (m_plan.watch) m_settledPlaces.insert(dock.place);
    m_results.push_back(std::move(result));
}

bool CDockFleet::AnyWriting() const {
    return std::any_of(m_docks.begin(), m_docks.end(), [](const auto& dock) {
        return dock->engine && dock->engine->IsUpgradeRunning();
    });
}

bool CDockFleet::AnyStarted() const {
    return std::any_of(m_docks.begin(), m_docks.end(),
                       [](const auto& dock) { return dock->started; });
}

void CDockFleet::Close() {
    for (auto& dock : m_docks) {
        if (!dock->engine) continue;
        if (dock->phase == FleetDock::Phase::Return) {
            FinishByOutcome(*dock);
            continue;
        }
        const bool wasRunning = dock->phase == FleetDock::Phase::Run;
        dock->engine->OnDestroy();
        if (wasRunning) {
            Finish(*dock, DockVerdict::Failed, "stopped while the dock was being upgraded", true);
        } else {
            // Found, never started: nothing was changed, and its events end here.
            dock->engine.reset();
            dock->phase = FleetDock::Phase::Done;
            dock->ui.Silence();
            m_output.Stage(dock->place, "stopped");
        }
    }
}

std::vector<std::string> CDockFleet::Unfinished() const {
    std::vector<std::string> chosen = m_plan.places;
    for (const auto& dock : m_docks) {
        if (std::find(chosen.begin(), chosen.end(), dock->place) == chosen.end())
            chosen.push_back(dock->place);
    }
    std::erase_if(chosen, [this](const std::string& place) {
        return std::any_of(m_results.begin(), m_results.end(),
                           [&](const DockResult& r) { return r.place == place; });
    });
    return chosen;
}

FleetSummary CDockFleet::Summary() const {
    FleetSummary summary;
    summary.docks = m_results.size();
    for (const auto& result : m_results) {
        switch (result.verdict) {
            case DockVerdict::Passed:
            case DockVerdict::Queried:
                ++summary.passed;
                break;
            case DockVerdict::Current:
                ++summary.current;
                break;
            default:
                ++summary.failed;
                break;
        }
    }
    if (m_noneFound && m_results.empty()) {
        summary.exitStatus = 4;
    } else if (summary.failed > 0) {
        summary.exitStatus = 1;
    } else if (summary.current > 0 && summary.passed == 0) {
        summary.exitStatus = 3;
    }
    return summary;
}

}  // namespace tamblor
