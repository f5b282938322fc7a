#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FleetOutput.h"
#include "hid/HidPort.h"
#include "package/PackageLoader.h"

namespace tamblor {

class CCliSession;
struct FleetDock;

// What a run on several docks is asked to do.
struct FleetPlan {
    std::filesystem::path packagePath;
    PackageInfo package;
    // Which docks: every one present at the start (all), the ones at these places, or (neither)
    // the only one, the run refusing when several match.
    bool all = false;
    std::vector<std::string> places;
    // Keep running: every matching dock plugged in later is taken too, until a stop.
    bool watch = false;
    // Ask each dock its mode and version with the scan's queries, and start nothing.
    bool queryOnly = false;
    // How long the start waits for the docks to be there.
    std::chrono::milliseconds wait{std::chrono::seconds(10)};
    // How long a dock may stay quiet while the upgrade is being offered, while it runs, and
    // while it comes back from its last restart.
    std::chrono::milliseconds offerWait{std::chrono::seconds(10)};
    std::chrono::milliseconds sequenceWait{std::chrono::seconds(60)};
    std::chrono::milliseconds returnWait{std::chrono::seconds(3)};
    // True when nothing is left to happen at the dock at that place, so a wait need not run
    // out (an emulated dock knows; a real one does not: leave it empty).
    std::function<bool(const std::string&)> quiet;
    // The dock's own judgement of its run once its engine is done (an emulated dock's report):
    // why it did not pass, or empty.
    std::function<std::string(const std::string&)> judge;
};

// The docks of one run, each with an engine of its own that sees only the dock's place
// (CPlaceView), on one loop: the session's. Every dock's sequence goes on whatever becomes of
// the others; each is told its own verdict.
class CDockFleet {
  public:
    CDockFleet(IHidBus& bus, CCliSession& loop, IFleetOutput& output, FleetPlan plan);
    ~CDockFleet();
    CDockFleet(const CDockFleet&) = delete;
    CDockFleet& operator=(const CDockFleet&) = delete;

    // Advances every dock; true once the run has nothing left to do. Call it on the loop's
    // thread, again and again (the session's Run asks it as its `settled`).
    bool Tick();
    // A change of the bus, on the loop's thread.
    void OnDeviceChange(const DeviceChange& change);
    // True while a chip of any dock is being worked on.
    bool AnyWriting() const;
    bool AnyStarted() const;
    // Ends every dock still at work (after a stop): their engines close, and a dock whose
    // sequence had ended is given its verdict.
    void Close();

    // More than one dock matched and the plan names none: the places, and nothing was started.
    const std::vector<std::string>& Refused() const { return m_refused; }
    // No dock came within the wait (nor any of the places asked for).
    bool NoneFound() const { return m_noneFound; }
    const std::vector<DockResult>& Results() const { return m_results; }
    // Chosen docks without a verdict of their own: a place asked for whose dock never came, or
    // a dock still at its scan when the run was closed.
    std::vector<std::string> Unfinished() const;
    FleetSummary Summary() const;
    // What the run waits for when its first look did not find it, once, for the operator;
    // empty otherwise.
    std::string TakeWaitingNote() { return std::exchange(m_waitingNote, {}); }

  private:
    struct Found {
        std::string place;
        std::string path;
    };
    std::vector<Found> MatchingDocks();
    void Choose(std::chrono::steady_clock::time_point now);
    void Adopt(const Found& dock);
    void Advance(FleetDock& dock, std::chrono::steady_clock::time_point now);
    void Finish(FleetDock& dock, DockVerdict verdict, std::string failure, bool stopped = false);
    void FinishByOutcome(FleetDock& dock);
    void WatchForNewDocks();
    void NoteWhatIsAwaited(const std::vector<Found>& found);

    IHidBus& m_bus;
    CCliSession& m_loop;
    IFleetOutput& m_output;
    const FleetPlan m_plan;
    const std::chrono::steady_clock::time_point m_begin = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_lastLook{};
    bool m_choosing = true;
    bool m_lookAgain = true;
    bool m_noneFound = false;
    bool m_lookedOnce = false;
    std::string m_waitingNote;
    std::vector<std::string> m_refused;
    std::list<std::unique_ptr<FleetDock>> m_docks;
    // Places whose dock has had its verdict and is still plugged in (watch).
    std::set<std::string> m_settledPlaces;
    std::vector<DockResult> m_results;
};

}  // namespace tamblor
