// tamblor-demo.exe: the tool on an emulated dock, for trying it without hardware. The dock is
// timed like a real one: about a millisecond per report, a second and a half to restart into
// its boot loader.
#include <windows.h>

#include "TamblorApp.h"
#include "hid/emulated/EmulatedDock.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    tamblor::EmulatedBusOptions options;
    options.latency = std::chrono::milliseconds(1);
    options.restartDelay = std::chrono::milliseconds(1500);
    tamblor::CEmulatedDock dock({}, options);
    return tamblor::win::RunTamblorApp(dock);
}
