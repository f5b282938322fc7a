#pragma once

#include <windows.h>

#include <optional>

#include "WinUiPort.h"
#include "hid/HidPort.h"

namespace tamblor::win {

// The device change a WM_DEVICECHANGE carries, when it is the arrival or removal of a device
// interface; nothing for every other broadcast. The path is passed on as the system wrote it:
// notices carry it in upper case where SetupAPI lists it in lower case, so whoever compares
// paths must ignore case.
std::optional<DeviceChange> DeviceChangeFromBroadcast(WPARAM event, LPARAM data);

// The window's answer to WM_DEVICECHANGE: a device change goes to the dialog's own queue
// (WM_UI_DEVICE_CHANGE), where the engine takes it. The scan it may start enumerates every HID
// interface, opens them and writes: no work for the broadcast, whose sender waits for every
// window's answer, nor for a moment when the reader may hold the engine's lock.
LRESULT PostDeviceBroadcast(WPARAM event, LPARAM data, CWinUiPort& ui);

}  // namespace tamblor::win
