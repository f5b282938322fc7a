#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/PlaceView.h"
#include "app/UpgradeOutcome.h"

namespace tamblor {

// How one dock of a run with several ended.
enum class DockVerdict {
    Passed,   // upgraded, and every check passed
    Failed,   // the upgrade failed, was not offered, or the dock went away
    Current,  // the dock already has the package's version or a newer one: left alone
    Busy,     // another copy of tamblor holds the dock: left alone, and counted as failed
    Missing,  // a dock asked for by its place never came
    Queried,  // `status`: the dock was asked its mode and version, nothing more
};

struct DockResult {
    std::string place;
    std::string path;
    DockVerdict verdict = DockVerdict::Failed;
    // Why the dock did not pass, in a few words; empty when it passed.
    std::string failure;
    bool started = false;  // Start upgrade was taken
    UpgradeOutcome outcome;
    DockSighting sighting;
    // `status`: the carried package would be offered to the dock.
    bool wouldUpgrade = false;
};

const char* VerdictName(DockVerdict verdict);
const char* EndName(UpgradeOutcome::End end);
// "V102", or "" when the dock has not told.
std::string VersionName(const DockSighting& sighting);
// "AP", "ISP", or "" when the dock has not told.
std::string ModeName(const DockSighting& sighting);

struct FleetSummary {
    std::size_t docks = 0, passed = 0, failed = 0, current = 0;
    int exitStatus = 0;
};

// What the operator (or a script) sees of a run on several docks. Every call comes from the
// loop's thread.
class IFleetOutput {
  public:
    virtual ~IFleetOutput() = default;
    virtual void Found(const std::string& place, const std::string& path) = 0;
    // "scan", "upgrade", "restart", "return", "done", or "stopped" (cut off by a stop).
    virtual void Stage(const std::string& place, std::string_view stage) = 0;
    virtual void Progress(const std::string& place, int percent) = 0;
    virtual void Log(const std::string& place, const std::string& text) = 0;
    // The dock left in the middle of its sequence (its restart into or out of the boot loader).
    virtual void Restart(const std::string& place) = 0;
    virtual void Outcome(const DockResult& result) = 0;
    virtual void Summary(const FleetSummary& summary) = 0;
    // A line of the tool's own, not of a dock's log.
    virtual void Note(const std::string& text) = 0;
};

// Lines prefixed by the dock's place on `out`; on a terminal a progress line per dock redrawn
// in place below them. Verdicts, notes and the summary go to `err`, where a script reading the
// log does not meet them. `command` names the tool's own lines ("upgrade").
std::unique_ptr<IFleetOutput> MakeTextFleetOutput(std::ostream& out, std::ostream& err,
                                                  bool terminal, std::string command);
// One JSON object per line on `out` (see the manual page); notes go to `err`.
std::unique_ptr<IFleetOutput> MakeJsonFleetOutput(std::ostream& out, std::ostream& err);

// Shows nothing.
std::unique_ptr<IFleetOutput> MakeQuietFleetOutput();

}  // namespace tamblor
