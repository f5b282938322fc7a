#pragma once

#include <windows.h>

#include <optional>

#include "hid/HidPort.h"

namespace tamblor::win {

// The device change a WM_DEVICECHANGE carries, when it is the arrival or removal of a device
// interface; nothing for every other broadcast. The path is passed on as the system wrote it:
// notices carry it in upper case where SetupAPI lists it in lower case, so whoever compares
// paths must ignore case.
std::optional<DeviceChange> DeviceChangeFromBroadcast(WPARAM event, LPARAM data);

}  // namespace tamblor::win
