#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "DockFleet.h"

namespace tamblor {

struct FleetPresentation {
    bool json = false;
    bool terminal = false;  // stdout is a terminal: progress lines are redrawn in place
    std::string command = "upgrade";
    // Nothing of the run is shown (status prints its own table from the results).
    bool quiet = false;
};

// Runs `plan` on `bus` until every dock has its verdict (or, watching, until a stop) and
// returns the exit status: 0 every chosen dock passed, 1 one failed, 2 several docks matched
// and none was chosen, 3 every dock already had the version, 4 no dock came. With
// `catchSignals` Ctrl-C, SIGTERM and SIGHUP are handled as CInterruptPolicy says, for every
// dock: a stop is taken at once only while no chip is being written. `results` (may be null)
// receives each dock's verdict.
int RunFleet(IHidBus& bus, FleetPlan plan, const FleetPresentation& presentation, std::ostream& out,
             std::ostream& err, bool catchSignals, std::vector<DockResult>* results = nullptr);

}  // namespace tamblor
