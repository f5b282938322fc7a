#pragma once

// clang-format off
#include <windows.h>
#include <gdiplus.h>
// clang-format on

namespace tamblor::win {

// Starts GDI+ at most once per process, even when several modules of the process use this
// class: the first start leaves a named marker mapping ("GDIPlusInitID=<pid>") that later
// starts see. Every start counts a use; GDI+ stops when the starting instance's stop brings
// the count back to 0.
class CGDIpInitializer {
  public:
    explicit CGDIpInitializer(bool autoStart);
    virtual ~CGDIpInitializer();
    CGDIpInitializer(const CGDIpInitializer&) = delete;
    CGDIpInitializer& operator=(const CGDIpInitializer&) = delete;

    void StartGdiplus();
    void StopGdiplus();

    bool Started() const { return m_started; }
    static int UseCount() { return s_useCount; }

  private:
    HANDLE m_mapping = nullptr;
    bool m_started = false;
    bool m_autoStart;
    ULONG_PTR m_token = 0;
    Gdiplus::GdiplusStartupInput m_startupInput;
    static inline int s_useCount = 0;
};

}  // namespace tamblor::win
