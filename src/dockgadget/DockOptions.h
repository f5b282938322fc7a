#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "GadgetDock.h"
#include "dock/DockConfig.h"

namespace tamblor {

struct DockProgramOptions {
    std::filesystem::path package;  // empty: the one this program carries
    DockConfig dock;                // identity is filled from the package later
    GadgetDockOptions run;
    std::string udc;
    std::optional<std::filesystem::path> reportJson;
    bool remove = false;     // only remove the gadget a killed run left behind
    bool dockFirst = false;  // the dock's collection before the keyboard's
};

// Parses tamblor-dock's arguments. Empty after --help (status 0) or a bad argument (status 2,
// one line on `err`).
std::optional<DockProgramOptions> ParseDockOptions(const std::vector<std::string>& args,
                                                   std::ostream& out, std::ostream& err,
                                                   int& status);

}  // namespace tamblor
