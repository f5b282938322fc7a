#pragma once

#include <windows.h>

namespace tamblor::win {

// Messages a parent hands back to the child control they concern, so the control can answer
// for itself: the original message plus this base (WM_CTLCOLOR*, WM_DRAWITEM, WM_COMMAND).
inline constexpr UINT kReflectBase = WM_USER + 0x1C00;

// WM_CTLCOLORMSGBOX to WM_CTLCOLORSTATIC: a control asks its parent for its colours.
inline bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }

inline bool IsReflectedCtlColor(UINT msg) {
    return msg >= kReflectBase && IsCtlColor(msg - kReflectBase);
}

// A C++ object bound to a window: the dialog, or a control of it that we subclass.
class CWnd {
  public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    // The object bound to `hwnd`, or null.
    static CWnd* FromHandle(HWND hwnd);

    // Sees every queued message addressed to this window (or to a child without an object of
    // its own) before it is dispatched; true consumes it.
    virtual bool PreTranslateMessage(MSG& msg);

    void Invalidate(bool erase = true) const { ::InvalidateRect(m_hwnd, nullptr, erase); }

  protected:
    void Bind(HWND hwnd);
    void Unbind();

    HWND m_hwnd = nullptr;
};

// Runs PreTranslateMessage from the message's window up to and including `top`.
bool PreTranslateChain(MSG& msg, HWND top);

}  // namespace tamblor::win
