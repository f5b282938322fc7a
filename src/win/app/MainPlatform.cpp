// tamblor.exe: the tool on the machine's own HID devices.
#include <windows.h>

#include "TamblorApp.h"
#include "hid/PlatformHidBus.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const auto bus = tamblor::CreatePlatformHidBus();
    return tamblor::win::RunTamblorApp(*bus);
}
