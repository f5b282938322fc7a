#include "WinHidBus.h"
#include "hid/PlatformHidBus.h"

namespace tamblor {

std::unique_ptr<IHidBus> CreatePlatformHidBus() { return std::make_unique<win::CWinHidBus>(); }

bool PlatformHidBusReachesDocks() { return true; }

}  // namespace tamblor
