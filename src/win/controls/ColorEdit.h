#pragma once

#include <string>

#include "win/framework/SubclassedWnd.h"

namespace tamblor::win {

// An edit control with the owner's font and text colour and no background of its own: the
// text stands on whatever the parent painted behind it.
class CColorEdit : public CSubclassedWnd {
  public:
    CColorEdit() = default;
    ~CColorEdit() override;

    // Style bits: 0x01 bold, 0x02 italic, 0x04 underline, 0x08 strike-out; a clear bit leaves
    // its attribute as it was. The font goes to m_fontTarget, which must be set first.
    void SetEditFont(const wchar_t* faceName, int height, int style);
    // Applies from the next paint.
    void SetEditTextColor(COLORREF color) { m_textColor = color; }

    CWnd* m_fontTarget = nullptr;

  protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    std::wstring m_faceName = L"Courier New";
    int m_height = 20;
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
    bool m_strikeOut = false;
    COLORREF m_textColor = RGB(0, 255, 0);
    HFONT m_font = nullptr;  // released once the window that uses it is gone
};

}  // namespace tamblor::win
