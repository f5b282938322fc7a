#pragma once

#include <array>

#include "skin/ButtonSkin.h"
#include "win/framework/SubclassedWnd.h"

namespace tamblor::win {

// The owner-drawn, flat icon button of the operator window: hot and idle icons, a one-pixel 3D
// frame on hover and press, a tooltip, and a face copied from the parent's pixels.
class CButtonKV : public CSubclassedWnd {
  public:
    CButtonKV();
    ~CButtonKV() override;

    // 0 success, 1 failure. A hot id whose resource is missing leaves the button without icons.
    int AssignIcons(UINT hotId, int hotWidth, int hotHeight, UINT idleId, int idleWidth,
                    int idleHeight);
    // The button takes ownership of both icons.
    int AssignIconHandles(HICON hot, HICON idle);
    void AssignTooltip(const wchar_t* text, bool activate);
    void UseParentBackground(bool repaint);

    bool PreTranslateMessage(MSG& msg) override;

    bool IsDefault() const { return m_default != 0; }
    bool IsHovering() const { return m_hover != 0; }
    HWND Tooltip() const { return m_tooltip; }

  protected:
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    virtual void DrawItem(const DRAWITEMSTRUCT& item);
    virtual int PaintFace(HDC dc, const RECT& rect);
    virtual int PaintFrame(HDC dc, const RECT& rect);
    virtual void PaintIcon(HDC dc, bool hasCaption, const RECT& item, RECT& caption, bool pressed,
                           bool disabled);
    virtual void PaintCaption(HDC dc, const wchar_t* text, const RECT& item, RECT& caption,
                              bool pressed, bool disabled);

  private:
    struct Icon {
        HICON handle = nullptr;
        int width = 0;
        int height = 0;
    };

    void CopyParentBackground(HDC dc);
    void DiscardBackground();
    void ReleaseImages();
    void ResetColors();
    void EnsureTooltip();
    void TrackHover(WPARAM keys, LPARAM point);
    void EndHover();
    static bool ReadIconSize(HICON icon, Icon& slot);

    int m_hover = 0;
    int m_parentBackground = 0;
    int m_pressed = 0;
    int m_focused = 0;
    int m_disabled = 0;
    int m_default = 0;
    std::array<COLORREF, skin::kButtonSlots> m_colors{};
    HWND m_tooltip = nullptr;
    HDC m_backgroundDc = nullptr;
    HBITMAP m_backgroundBitmap = nullptr;
    HGDIOBJ m_previousBitmap = nullptr;
    Icon m_hot;
    Icon m_idle;
};

// Draw3dRect: top and left strips in `topLeft`, right column and bottom row in `bottomRight`.
void Draw3dRect(HDC dc, const RECT& rect, COLORREF topLeft, COLORREF bottomRight);

}  // namespace tamblor::win
