#pragma once

#include "GDIpInitializer.h"
#include "hid/HidPort.h"

namespace tamblor::win {

// The application object: common controls and GDI+ up, the dialog run modally, GDI+ down.
class CTamblorApp {
  public:
    CTamblorApp() = default;

    // Runs the dialog over `bus`; false, as there is no message loop after the dialog.
    BOOL InitInstance(IHidBus& bus);
    int ExitInstance();

    // Restart supported.
    int m_restartManagerSupportFlags = 1;
    CGDIpInitializer m_gdiplus{false};
};

// The one application object of the process.
extern CTamblorApp theApp;

// InitInstance, then ExitInstance: the body of the program's entry point.
int RunTamblorApp(IHidBus& bus);

}  // namespace tamblor::win
