#include "ColorEdit.h"

namespace tamblor::win {

CColorEdit::~CColorEdit() {
    Detach();
    if (m_font) ::DeleteObject(m_font);
}

void CColorEdit::SetEditFont(const wchar_t* faceName, int height, int style) {
    m_faceName = faceName;
    m_height = height;
    if (style & 0x01) m_bold = true;
    if (style & 0x02) m_italic = true;
    if (style & 0x04) m_underline = true;
    if (style & 0x08) m_strikeOut = true;
    const HFONT font =
        ::CreateFontW(m_height, 0, 0, 0, m_bold ? 900 : 400, m_italic, m_underline, m_strikeOut,
                      DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      FIXED_PITCH | FF_MODERN, m_faceName.c_str());
    if (m_fontTarget && m_fontTarget->Hwnd()) {
        ::SendMessageW(m_fontTarget->Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    // The target now uses the new font; the one it replaced can go.
    if (m_font) ::DeleteObject(m_font);
    m_font = font;
}

LRESULT CColorEdit::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) return TRUE;
    if (IsReflectedCtlColor(msg)) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, m_textColor);
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    return Default(msg, wParam, lParam);
}

}  // namespace tamblor::win
