#include "SubclassedWnd.h"

#include <commctrl.h>

namespace tamblor::win {
namespace {

constexpr UINT_PTR kSubclassId = 0x7A3B;

}  // namespace

CSubclassedWnd::~CSubclassedWnd() { Detach(); }

bool CSubclassedWnd::Attach(HWND control) {
    if (control == nullptr) return false;
    Bind(control);
    PreSubclassWindow();
    ::SetWindowSubclass(control, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

void CSubclassedWnd::Detach() {
    if (m_hwnd && ::IsWindow(m_hwnd)) ::RemoveWindowSubclass(m_hwnd, SubclassProc, kSubclassId);
    Unbind();
}

LRESULT CSubclassedWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return Default(msg, wParam, lParam);
}

LRESULT CSubclassedWnd::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
    // A reflected message the control did not answer: nothing to pass on.
    if (msg >= kReflectBase && msg < kReflectBase + WM_USER) return 0;
    return ::DefSubclassProc(m_hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWnd::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR, DWORD_PTR self) {
    auto* object = reinterpret_cast<CSubclassedWnd*>(self);
    if (msg == WM_NCDESTROY) {
        const LRESULT result = ::DefSubclassProc(hwnd, msg, wParam, lParam);
        object->Detach();
        return result;
    }
    return object->WindowProc(msg, wParam, lParam);
}

}  // namespace tamblor::win
