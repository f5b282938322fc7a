#pragma once

// clang-format off
#include <windows.h>
#include <gdiplus.h>
// clang-format on

#include <atomic>
#include <cstdint>

#include "skin/CylinderSkin.h"
#include "win/framework/SubclassedWnd.h"

namespace tamblor::win {

// The progress bar drawn as a lying, anti-aliased cylinder with GDI+: a light-grey tube that
// fills from the left, a gloss band, shaded end faces and the percentage in the middle. Every
// pixel the cylinder does not cover keeps what the parent painted.
class CCylinderProgressCtrlKV : public CSubclassedWnd {
  public:
    CCylinderProgressCtrlKV();

    // Clamped to the bounds, then handed to the native control too (which repaints).
    void SetPosition(int value);
    void SetFillColor(std::uint32_t argb, bool repaint);
    int Position() const { return m_position.load(); }
    std::uint32_t FillColor() const { return m_fillColor.load(); }

  protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // Clears the image with the button-face colour; the bar's own paint leaves it transparent.
    virtual void PaintBackground(Gdiplus::Graphics& graphics, const Gdiplus::Rect& rect);
    virtual void PaintPercentText(Gdiplus::Graphics& graphics, int percent,
                                  const Gdiplus::Rect& full);

  private:
    void OnPaint();
    void PaintCylinder(Gdiplus::Graphics& graphics, const skin::CylinderSection& section,
                       std::uint32_t body, std::uint32_t outline);
    void PaintGloss(Gdiplus::Graphics& graphics, const Gdiplus::Rect& r,
                    Gdiplus::GraphicsPath& body);

    std::atomic<std::uint32_t> m_fillColor{skin::kCylinderFill};
    std::uint32_t m_emptyColor = skin::kCylinderEmpty;
    std::uint32_t m_outlineColor = skin::kCylinderOutline;
    std::uint32_t m_textColor;
    int m_lower = 0;
    int m_upper = 100;
    int m_span;
    std::atomic<int> m_position{0};
};

}  // namespace tamblor::win
