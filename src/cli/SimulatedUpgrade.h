#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "hid/emulated/EmulatedDock.h"

namespace tamblor {

struct SimulationResult {
    bool offered = false;            // the scan ended with Start upgrade enabled
    bool succeeded = false;          // Chip 3 was verified last and the dock saw no violation
    std::vector<std::string> lines;  // the log, line by line, as the window shows it
    DockReport report;
};

// Start-up, the scan, Start upgrade (when offered) and the whole sequence against `dock`, until
// nothing is left to happen. The log goes to `out` as it grows.
SimulationResult RunSimulatedUpgrade(CEmulatedDock& dock, const std::filesystem::path& package,
                                     std::ostream& out, bool drawProgressBar);

// True when the last Chip 3 verdict in the log is the success line.
bool EndedInSuccess(const std::vector<std::string>& lines);

}  // namespace tamblor
