#pragma once

#include <chrono>

#include "hid/emulated/EmulatedBusOptions.h"

namespace tamblor {

// The emulated dock of the demo, timed like a real one on USB: a report takes about a
// millisecond each way, and the restart into the boot loader about a second and a half.
inline EmulatedBusOptions DemoBusOptions() {
    EmulatedBusOptions options;
    options.latency = std::chrono::milliseconds(1);
    options.restartDelay = std::chrono::milliseconds(1500);
    return options;
}

}  // namespace tamblor
