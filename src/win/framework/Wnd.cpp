#include "Wnd.h"

namespace tamblor::win {
namespace {

constexpr wchar_t kObjectProperty[] = L"tamblor.object";

}  // namespace

CWnd::~CWnd() { Unbind(); }

CWnd* CWnd::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
}

bool CWnd::PreTranslateMessage(MSG&) { return false; }

void CWnd::Bind(HWND hwnd) {
    m_hwnd = hwnd;
    ::SetPropW(hwnd, kObjectProperty, this);
}

void CWnd::Unbind() {
    if (m_hwnd && ::IsWindow(m_hwnd)) ::RemovePropW(m_hwnd, kObjectProperty);
    m_hwnd = nullptr;
}

bool PreTranslateChain(MSG& msg, HWND top) {
    for (HWND hwnd = msg.hwnd; hwnd != nullptr; hwnd = ::GetParent(hwnd)) {
        if (CWnd* object = CWnd::FromHandle(hwnd); object && object->PreTranslateMessage(msg)) {
            return true;
        }
        if (hwnd == top) break;
    }
    return false;
}

}  // namespace tamblor::win
