#include "GDIpInitializer.h"

#include <cwchar>

namespace tamblor::win {

CGDIpInitializer::CGDIpInitializer(bool autoStart) : m_autoStart(autoStart) {
    if (m_autoStart) StartGdiplus();
}

CGDIpInitializer::~CGDIpInitializer() {
    if (m_autoStart) StopGdiplus();
}

void CGDIpInitializer::StartGdiplus() {
    if (!m_started) {
        wchar_t name[1024];
        std::swprintf(name, 1024, L"GDIPlusInitID=%x",
                      static_cast<unsigned>(::GetCurrentProcessId()));
        m_mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, SEC_COMMIT | PAGE_READWRITE,
                                         0, 4, name);
        if (m_mapping != nullptr) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS) {
                // Another module of this process runs GDI+ already.
                ::CloseHandle(m_mapping);
            } else {
                m_started = true;
                Gdiplus::GdiplusStartup(&m_token, &m_startupInput, nullptr);
            }
        }
    }
    ++s_useCount;
}

void CGDIpInitializer::StopGdiplus() {
    --s_useCount;
    if (m_started && s_useCount == 0) {
        Gdiplus::GdiplusShutdown(m_token);
        ::CloseHandle(m_mapping);
        m_started = false;
    }
}

}  // namespace tamblor::win
