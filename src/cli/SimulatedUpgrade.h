#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "UpgradeVerdict.h"
#include "app/UpgradeOutcome.h"
#include "hid/HidPort.h"
#include "hid/emulated/EmulatedDock.h"

namespace tamblor {

struct SimulationResult {
    bool offered = false;    // the scan ended with Start upgrade enabled
    UpgradeOutcome outcome;  // how the engine says the sequence ended
    // The sequence succeeded (outcome) and the dock's report passed: no
    // violation, and every chip holds exactly what it should.
    bool succeeded = false;
    std::vector<std::string> lines;  // the log, line by line, as the window shows it
    DockReport report;
};

// Start-up, the scan, Start upgrade (when offered) and the whole sequence against `dock`, until
// nothing is left to happen. The log goes to `out` as it grows. The dock judges the images only
// when its configuration says what it should receive (DockConfig::expected).
SimulationResult RunSimulatedUpgrade(CEmulatedDock& dock, const std::filesystem::path& package,
                                     std::ostream& out, bool drawProgressBar);
// The same with the engine on `hostBus`, a bus that leads to `dock` (for instance one that
// watches or alters what the host writes).
SimulationResult RunSimulatedUpgrade(IHidBus& hostBus, CEmulatedDock& dock,
                                     const std::filesystem::path& package, std::ostream& out,
                                     bool drawProgressBar);

}  // namespace tamblor
