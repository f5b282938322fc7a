#pragma once

#include <memory>

#include "HidPort.h"

namespace tamblor {

// The machine's own HID stack: hidraw and udev on Linux, SetupAPI and the HID class driver on
// Windows.
std::unique_ptr<IHidBus> CreatePlatformHidBus();

}  // namespace tamblor
