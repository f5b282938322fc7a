#include "CylinderProgressCtrlKV.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

#include "skin/CylinderMath.h"

namespace tamblor::win {

using namespace Gdiplus;

namespace {

Rect ToGdiplusRect(const skin::SkinRect& r) { return Rect(r.x, r.y, r.width, r.height); }

std::uint32_t ToArgb(COLORREF color) {
    return 0xFF000000u | (std::uint32_t{GetRValue(color)} << 16) |
           (std::uint32_t{GetGValue(color)} << 8) | GetBValue(color);
}

// The face GDI draws `font` with, which may stand in for the face the font names.
std::wstring MappedFaceName(HFONT font) {
    const HDC dc = ::CreateCompatibleDC(nullptr);
    if (dc == nullptr) return {};
    const HGDIOBJ previous = ::SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    if (::GetTextFaceW(dc, LF_FACESIZE, face) == 0) face[0] = L'\0';
    ::SelectObject(dc, previous);
    ::DeleteDC(dc);
    return face;
}

}  // namespace

CCylinderProgressCtrlKV::CCylinderProgressCtrlKV()
    : m_textColor(ToArgb(::GetSysColor(COLOR_BTNTEXT))) {
    const int span = std::abs(m_upper - m_lower);
    m_span = span == 0 ? 1 : span;
}

void CCylinderProgressCtrlKV::SetPosition(int value) {
    const int clamped = std::clamp(value, m_lower, m_upper);
    m_position = clamped;
    if (m_hwnd) ::SendMessageW(m_hwnd, PBM_SETPOS, static_cast<WPARAM>(clamped), 0);
}

void CCylinderProgressCtrlKV::SetFillColor(std::uint32_t argb, bool repaint) {
    m_fillColor = argb;
    if (repaint && m_hwnd) Invalidate();
}

LRESULT CCylinderProgressCtrlKV::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
        case WM_NCPAINT:
            return 0;
        default:
            if (IsReflectedCtlColor(msg)) {
                return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
            }
            return Default(msg, wParam, lParam);
    }
}

void CCylinderProgressCtrlKV::PaintBackground(Graphics& graphics, const Rect&) {
    Color face;
    face.SetFromCOLORREF(::GetSysColor(COLOR_BTNFACE));
    graphics.Clear(face);
}

void CCylinderProgressCtrlKV::OnPaint() {
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(m_hwnd, &paint);
    {
        Graphics screen(dc);
        RECT client{};
        ::GetClientRect(m_hwnd, &client);
        const int width = client.right;
        const int height = client.bottom;
        if (width > 0 && height > 0) {
            Bitmap image(width, height, PixelFormat32bppARGB);
            Graphics graphics(&image);
            graphics.Clear(Color(0, 0, 0, 0));
            graphics.SetSmoothingMode(SmoothingModeAntiAlias);

            const skin::CylinderLayout layout =
                skin::LayOutCylinder(width, height, m_position.load(), m_span);
            PaintCylinder(graphics, layout.empty, m_emptyColor, m_outlineColor);
            if (layout.filled.drawn) {
                PaintCylinder(graphics, layout.filled, m_fillColor.load(), m_outlineColor);
            }
            Pen pen(Color(m_outlineColor), 1.0f);
            graphics.DrawEllipse(&pen, ToGdiplusRect(layout.closingFace));
            PaintPercentText(graphics, layout.percent, ToGdiplusRect(layout.full));
            screen.DrawImage(&image, 0, 0);
        }
    }
    ::EndPaint(m_hwnd, &paint);
}

void CCylinderProgressCtrlKV::PaintCylinder(Graphics& graphics,
                                            const skin::CylinderSection& section,
                                            std::uint32_t body, std::uint32_t outline) {
    const Rect r = ToGdiplusRect(section.body);
    const Rect endFace = ToGdiplusRect(section.endFace);
    const Rect startFace = ToGdiplusRect(section.startFace);
    GraphicsPath path;
    path.AddArc(endFace, 90.0f, 180.0f);
    path.AddArc(startFace, 270.0f, -180.0f);
    path.CloseFigure();

    SolidBrush bodyBrush{Color(body)};
    graphics.FillPath(&bodyBrush, &path);
    PaintGloss(graphics, r, path);
    Pen pen(Color(outline), 1.0f);
    if (section.outlineBody) graphics.DrawPath(&pen, &path);
    if (section.drawStartFace) {
        SolidBrush startBrush{Color(skin::ShadeColor(body, skin::kStartFaceShade))};
        graphics.FillEllipse(&startBrush, startFace);
        if (section.outlineStartFace) graphics.DrawEllipse(&pen, startFace);
    }
    SolidBrush endBrush{Color(skin::ShadeColor(body, skin::kEndFaceShade))};
    graphics.FillEllipse(&endBrush, endFace);
    if (section.outlineEndFace) graphics.DrawEllipse(&pen, endFace);
}

void CCylinderProgressCtrlKV::PaintGloss(Graphics& graphics, const Rect& r, GraphicsPath& body) {
    LinearGradientBrush gloss(r, Color(100, 128, 128, 128), Color(100, 255, 255, 255), -90.0f,
                              FALSE);
    if (gloss.GetLastStatus() != Ok) return;  // a degenerate rectangle has no gloss
    gloss.SetBlendBellShape(0.7f, 1.0f);
    graphics.FillPath(&gloss, &body);
}

void CCylinderProgressCtrlKV::PaintPercentText(Graphics& graphics, int percent, const Rect& full) {
    const auto parentFont =
        reinterpret_cast<HFONT>(::SendMessageW(::GetParent(m_hwnd), WM_GETFONT, 0, 0));
    if (parentFont == nullptr) return;
    LOGFONTW logFont{};
    if (::GetObjectW(parentFont, sizeof logFont, &logFont) == 0) return;
    const int dpi = static_cast<int>(graphics.GetDpiY());
    const auto points = static_cast<REAL>(::MulDiv(-logFont.lfHeight, 72, dpi));

    // The dialog font's own face, else the generic sans-serif one, else the face GDI draws the
    // dialog font with: a system without the named face may have no generic one either (Wine
    // knows neither Arial nor a generic sans-serif face, but maps Arial to a metric twin).
    FontFamily named(logFont.lfFaceName);
    const FontFamily* family = &named;
    std::unique_ptr<FontFamily> mapped;
    if (!named.IsAvailable()) {
        family = FontFamily::GenericSansSerif();
        if (family == nullptr || !family->IsAvailable()) {
            mapped = std::make_unique<FontFamily>(MappedFaceName(parentFont).c_str());
            family = mapped->IsAvailable() ? mapped.get() : nullptr;
        }
    }
    if (family == nullptr) return;
    Font font(family, points, FontStyleRegular, UnitPoint);
    wchar_t text[16];
    std::swprintf(text, 16, L"%d%%", percent);
    StringFormat format;
    format.SetAlignment(StringAlignmentCenter);
    format.SetLineAlignment(StringAlignmentCenter);
    graphics.SetTextRenderingHint(TextRenderingHintAntiAlias);
    SolidBrush brush{Color(m_textColor)};
    const RectF area(static_cast<REAL>(full.X), static_cast<REAL>(full.Y),
                     static_cast<REAL>(full.Width), static_cast<REAL>(full.Height));
    graphics.DrawString(text, -1, &font, area, &format, &brush);
}

}  // namespace tamblor::win
