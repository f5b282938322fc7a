#pragma once

#include <memory>

#include "HidPort.h"

namespace tamblor {

// The machine's own HID stack: hidraw and udev on Linux, SetupAPI and the HID class driver on
// Windows.
std::unique_ptr<IHidBus> CreatePlatformHidBus();

// False in a build without a transport (src/hid/null), whose bus never shows an interface: the
// command line then says so at once instead of waiting for a dock.
bool PlatformHidBusReachesDocks();

}  // namespace tamblor
