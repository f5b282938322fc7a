#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "hid/HidPort.h"
#include "hid/emulated/EmulatedDock.h"

namespace tamblor {

struct SimulationResult {
    bool offered = false;  // the scan ended with Start upgrade enabled
    // Every verdict of the sequence passed (EndedInSuccess) and the dock's report passed: no
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

// A line of the sequence that reports a failure: a failed verdict, erase or preparation, an
// abandoned sequence, a failed send, an unusable device or package.
bool IsFailureLine(const std::string& line);

// True when, from Start upgrade ("Waiting...") on, the log holds no failure line, Chip 3 was
// verified, and every other verdict the sequence began was reached and passed (Chip 1 verified
// once its preparation began, Chip 2's second file finished once its first began). The rule
// of every run, simulated or on a real dock.
bool EndedInSuccess(const std::vector<std::string>& lines);

}  // namespace tamblor
