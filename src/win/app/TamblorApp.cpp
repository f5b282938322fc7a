#include "TamblorApp.h"

#include <commctrl.h>

#include <memory>

#include "TamblorDlg.h"

namespace tamblor::win {

CTamblorApp theApp;

BOOL CTamblorApp::InitInstance(IHidBus& bus) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;  // 8
    controls.dwICC = 0xFF;              // list views through hot keys
    ::InitCommonControlsEx(&controls);
    // GDI+ before the dialog exists: the progress bar draws with it.
    m_gdiplus.StartGdiplus();
    {
        auto dialog = std::make_unique<CTamblorDlg>(bus, nullptr);
        dialog->DoModal();
    }
    return FALSE;
}

int CTamblorApp::ExitInstance() {
    m_gdiplus.StopGdiplus();
    return 0;
}

int RunTamblorApp(IHidBus& bus) {
    theApp.InitInstance(bus);
    return theApp.ExitInstance();
}

}  // namespace tamblor::win
