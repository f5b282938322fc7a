#include "BkDialogKV.h"

namespace tamblor::win {

CBkDialogKV::~CBkDialogKV() { ReleaseBitmap(); }

void CBkDialogKV::ReleaseBitmap() {
    if (m_bitmap) ::DeleteObject(m_bitmap);
    m_bitmap = nullptr;
}

int CBkDialogKV::SetBackgroundBitmap(UINT id, int width, int height) {
    ReleaseBitmap();
    m_bitmap = static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                 IMAGE_BITMAP, width, height, LR_DEFAULTCOLOR));
    if (m_bitmap) {
        BITMAP info{};
        if (::GetObjectW(m_bitmap, sizeof info, &info) == 0) {
            ReleaseBitmap();
            return 1;
        }
        m_bitmapWidth = info.bmWidth;
        m_bitmapHeight = info.bmHeight;
    }
    if (m_hwnd) Invalidate(true);
    return 0;
}

bool CBkDialogKV::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
        case WM_ERASEBKGND:
            result = OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
            return true;
        case WM_SIZE:
            // The dialog's own size handling has nothing to do; a new size needs a whole
            // new background.
            if (m_bitmap) ::InvalidateRect(m_hwnd, nullptr, TRUE);
            return false;
        default:
            return CDialog::OnMessage(msg, wParam, lParam, result);
    }
}

LRESULT CBkDialogKV::OnEraseBkgnd(HDC dc) {
    const LRESULT erased = ::DefWindowProcW(m_hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    if (m_bitmap == nullptr || m_bitmapWidth <= 0 || m_bitmapHeight <= 0) return erased;
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    const int width = client.right;
    const int height = client.bottom;

    const HDC composed = ::CreateCompatibleDC(dc);
    const HBITMAP canvas = ::CreateCompatibleBitmap(dc, width, height);
    const HGDIOBJ oldCanvas = ::SelectObject(composed, canvas);
    const HBRUSH fill = ::CreateSolidBrush(::GetBkColor(dc));
    ::FillRect(composed, &client, fill);
    ::DeleteObject(fill);

    const HDC picture = ::CreateCompatibleDC(dc);
    const HGDIOBJ oldPicture = ::SelectObject(picture, m_bitmap);
    for (int y = 0; y < height; y += m_bitmapHeight) {
        for (int x = 0; x < width; x += m_bitmapWidth) {
            ::BitBlt(composed, x, y, m_bitmapWidth, m_bitmapHeight, picture, 0, 0, SRCCOPY);
        }
    }
    ::BitBlt(dc, 0, 0, width, height, composed, 0, 0, SRCCOPY);

    ::SelectObject(picture, oldPicture);
    ::DeleteDC(picture);
    ::SelectObject(composed, oldCanvas);
    ::DeleteObject(canvas);
    ::DeleteDC(composed);
    return erased;
}

}  // namespace tamblor::win
