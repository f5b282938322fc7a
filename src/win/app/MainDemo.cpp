// tamblor-demo.exe: the tool on an emulated dock, for trying it without hardware. The dock is
// timed like a real one: about a millisecond per report, a second and a half to restart into
// its boot loader.
#include <windows.h>

#include "TamblorApp.h"
#include "hid/emulated/EmulatedDock.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    tamblor::DockConfig config;
    config.latency = std::chrono::milliseconds(1);
    config.restartDelay = std::chrono::milliseconds(1500);
    tamblor::CEmulatedDock dock(config);
    return tamblor::win::RunTamblorApp(dock);
}
