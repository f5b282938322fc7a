#include "Dialog.h"

namespace tamblor::win {

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    if (m_hwnd && ::IsWindow(m_hwnd)) ::DestroyWindow(m_hwnd);
}

INT_PTR CDialog::DoModal() {
    const HWND hwnd =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_parent,
                             DialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) return -1;
    if (m_parent) ::EnableWindow(m_parent, FALSE);
    m_running = true;
    MSG msg;
    while (m_running && m_hwnd) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (PreTranslateChain(msg, m_hwnd)) continue;
        if (!::IsDialogMessageW(m_hwnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (m_parent) ::EnableWindow(m_parent, TRUE);
    if (m_hwnd) ::DestroyWindow(m_hwnd);
    return m_result;
}

void CDialog::EndDialog(INT_PTR result) {
    m_result = result;
    m_running = false;
    if (m_hwnd) ::PostMessageW(m_hwnd, WM_NULL, 0, 0);  // wakes the modal loop
}

BOOL CDialog::OnInitDialog() { return TRUE; }

bool CDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT&) {
    // The framework's defaults for the two standard buttons.
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(LOWORD(wParam));
        return true;
    }
    return false;
}

LRESULT CDialog::DefaultCtlColor(UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto control = reinterpret_cast<HWND>(lParam);
    if (CWnd::FromHandle(control) != nullptr) {
        if (const LRESULT brush = ::SendMessageW(control, kReflectBase + msg, wParam, lParam)) {
            return brush;
        }
    }
    return ::DefWindowProcW(m_hwnd, msg, wParam, lParam);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        self->Bind(hwnd);
        return self->OnInitDialog();
    }
    auto* self = static_cast<CDialog*>(CWnd::FromHandle(hwnd));
    if (self == nullptr) return FALSE;
    const INT_PTR result = self->Dispatch(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) self->Unbind();
    return result;
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Owner-draw requests and notifications go to the control they concern first.
    if (msg == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (CWnd::FromHandle(item->hwndItem) != nullptr) {
            ::SendMessageW(item->hwndItem, kReflectBase + msg, wParam, lParam);
            ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
    }
    if (msg == WM_COMMAND && lParam != 0 && CWnd::FromHandle(reinterpret_cast<HWND>(lParam))) {
        ::SendMessageW(reinterpret_cast<HWND>(lParam), kReflectBase + msg, wParam, lParam);
    }
    LRESULT result = 0;
    if (!OnMessage(msg, wParam, lParam, result)) return FALSE;
    // These answer in the dialog procedure's own result; everything else through DWLP_MSGRESULT.
    if (IsCtlColor(msg) || msg == WM_QUERYDRAGICON) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace tamblor::win
