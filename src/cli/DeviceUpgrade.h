#pragma once

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <string>

#include "package/PackageLoader.h"

namespace tamblor {

// How long a real upgrade waits for the dock to be offered the upgrade, counted from the
// last thing that happened (and, unless --wait says otherwise, for a dock to come); and then
// for the sequence to move on.
inline constexpr std::chrono::seconds kDockWait{10};
inline constexpr std::chrono::seconds kSequenceWait{60};

// What the operator is told while no dock is attached: "no dock attached; waiting up to N s for
// one with vendor ID ... (Ctrl-C stops)", without the command's prefix.
std::string NoDockWaitingText(const PackageInfo& package, std::chrono::seconds wait);

// `tamblor-cli upgrade` on the machine's own dock: start-up, the scan, Start upgrade and the
// whole sequence, with Ctrl-C and SIGTERM handled as CInterruptPolicy says. `package` is the
// loaded package of `packagePath`. Returns the exit status.
// `wait`: how long to wait for a dock when none is attached. Several matching docks are refused
// (exit status 2): the caller chooses with --device or --all (RunFleet).
int RunOnDevice(const std::filesystem::path& packagePath, const PackageInfo& package,
                std::chrono::seconds wait, std::ostream& out, std::ostream& err);

}  // namespace tamblor
