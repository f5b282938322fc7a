#pragma once

#include <chrono>

#include "dock/DockConfig.h"

namespace tamblor {

// The emulated dock of the demo, timed like a real one on USB: a report takes about a
// millisecond each way, and the restart into the boot loader about a second and a half.
inline DockConfig DemoDockConfig() {
    DockConfig config;
    config.latency = std::chrono::milliseconds(1);
    config.restartDelay = std::chrono::milliseconds(1500);
    return config;
}

}  // namespace tamblor
