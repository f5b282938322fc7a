#pragma once

#include <chrono>
#include <string>

namespace tamblor {

// How the in-process bus (CEmulatedDock) presents its dock; the dock itself is a DockConfig.
struct EmulatedBusOptions {
    // Each reply comes this long after the report it answers.
    std::chrono::microseconds latency{0};
    // A restart keeps the dock off the bus this long.
    std::chrono::microseconds restartDelay{0};
    // Enumerate another collection of the same device (usage page 1, usage 6) before the
    // vendor-defined one.
    bool decoyFirst = false;
    // Attached when the bus is created.
    bool plugged = true;
    // The port the dock is plugged into (HidInterfaceInfo::place), which also names its paths.
    // Empty: no place, as on a bus without ports.
    std::string place{};
};

// How the step-by-step bus (CStepDock) presents its dock: it has no clock, so no timing.
struct StepBusOptions {
    // Attached when the bus is created.
    bool plugged = true;
};

}  // namespace tamblor
