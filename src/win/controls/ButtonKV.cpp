#include "ButtonKV.h"

#include <commctrl.h>
#include <windowsx.h>

#include <string>

#include "SkinWin.h"

namespace tamblor::win {
namespace {

void FillSolidRect(HDC dc, const RECT& rect, COLORREF color) {
    ::SetBkColor(dc, color);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

COLORREF FrameColor(skin::FrameColor color) {
    return ::GetSysColor(color == skin::FrameColor::Highlight ? COLOR_BTNHIGHLIGHT
                                                              : COLOR_BTNSHADOW);
}

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

void Draw3dRect(HDC dc, const RECT& rect, COLORREF topLeft, COLORREF bottomRight) {
    for (const skin::FrameStrip& strip : skin::FrameStrips(ToSkinRect(rect))) {
        FillSolidRect(dc, ToRect(strip.rect), strip.topLeft ? topLeft : bottomRight);
    }
}

CButtonKV::CButtonKV() { ResetColors(); }

CButtonKV::~CButtonKV() {
    Detach();
    ReleaseImages();
    DiscardBackground();
    if (m_tooltip && ::IsWindow(m_tooltip)) ::DestroyWindow(m_tooltip);
}

void CButtonKV::ResetColors() {
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
    m_colors = {face, text, face, text, face, text};
}

void CButtonKV::PreSubclassWindow() {
    const LONG_PTR style = ::GetWindowLongPtrW(m_hwnd, GWL_STYLE);
    if ((style & 0x1F) == BS_DEFPUSHBUTTON) m_default = 1;
    ::SetWindowLongPtrW(m_hwnd, GWL_STYLE, (style & ~LONG_PTR{0x1F}) | BS_OWNERDRAW);
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CButtonKV::PreTranslateMessage(MSG& msg) {
    EnsureTooltip();
    ::SendMessageW(m_tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    // The second click of a double-click is an ordinary click.
    if (msg.message == WM_LBUTTONDBLCLK) msg.message = WM_LBUTTONDOWN;
    return false;
}

LRESULT CButtonKV::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case kReflectBase + WM_DRAWITEM:
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case kReflectBase + WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) ::SetFocus(m_hwnd);
            return 0;
        case WM_MOUSEMOVE: {
            const LRESULT result = Default(msg, wParam, lParam);
            TrackHover(wParam, lParam);
            return result;
        }
        case WM_MOUSELEAVE:
            EndHover();
            return 0;
        case WM_KILLFOCUS:
        case WM_CANCELMODE: {
            const LRESULT result = Default(msg, wParam, lParam);
            EndHover();
            return result;
        }
        case WM_ACTIVATE: {
            const LRESULT result = Default(msg, wParam, lParam);
            if (LOWORD(wParam) == WA_INACTIVE) EndHover();
            return result;
        }
        case WM_ENABLE: {
            const LRESULT result = Default(msg, wParam, lParam);
            if (!wParam) {
                const HWND parent = ::GetParent(m_hwnd);
                HWND next = ::GetNextDlgTabItem(parent, m_hwnd, FALSE);
                ::SetFocus(next && next != m_hwnd ? next : parent);
                EndHover();
            }
            return result;
        }
        case WM_GETDLGCODE:
            return Default(msg, wParam, lParam) |
                   (m_default ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        case BM_SETSTYLE: {
            const auto type = wParam & 0x1F;
            if (type == BS_DEFPUSHBUTTON) m_default = 1;
            if (type == BS_PUSHBUTTON) m_default = 0;
            return Default(msg, (wParam & ~WPARAM{0x1F}) | BS_OWNERDRAW, lParam);
        }
        case BM_GETCHECK:
        case BM_SETCHECK:
            return 0;
        case WM_SYSCOLORCHANGE: {
            const LRESULT result = Default(msg, wParam, lParam);
            DiscardBackground();
            ResetColors();
            Invalidate();
            return result;
        }
        default:
            if (IsReflectedCtlColor(msg)) {
                return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
            }
            return Default(msg, wParam, lParam);
    }
}

void CButtonKV::TrackHover(WPARAM keys, LPARAM point) {
    POINT screen{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    ::ClientToScreen(m_hwnd, &screen);
    const HWND under = ::WindowFromPoint(screen);
    if ((keys & MK_LBUTTON) && !m_hover) return;
    if (under != m_hwnd) {
        EndHover();
        return;
    }
    if (m_hover) return;
    m_hover = 1;
    Invalidate();
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = m_hwnd;
    ::_TrackMouseEvent(&track);
}

void CButtonKV::EndHover() {
    if (!m_hover) return;
    m_hover = 0;
    Invalidate();
}

void CButtonKV::DrawItem(const DRAWITEMSTRUCT& item) {
    m_pressed = (item.itemState & ODS_SELECTED) ? 1 : 0;
    m_focused = (item.itemState & ODS_FOCUS) ? 1 : 0;
    m_disabled = (item.itemState & ODS_DISABLED) ? 1 : 0;
    const HDC dc = item.hDC;
    const RECT rect = item.rcItem;
    ::SetBkMode(dc, TRANSPARENT);
    if (m_parentBackground) {
        CopyParentBackground(dc);
    } else {
        PaintFace(dc, rect);
    }
    PaintFrame(dc, rect);
    const std::wstring caption = WindowText(m_hwnd);
    RECT captionRect = rect;
    if (m_hot.handle) {
        PaintIcon(dc, !caption.empty(), rect, captionRect, m_pressed, m_disabled);
    }
    if (!caption.empty()) {
        PaintCaption(dc, caption.c_str(), rect, captionRect, m_pressed, m_disabled);
    }
}

int CButtonKV::PaintFace(HDC dc, const RECT& rect) {
    const COLORREF face = m_colors[skin::FaceSlot(m_hover, m_pressed, m_focused)];
    const HBRUSH brush = ::CreateSolidBrush(face);
    ::FillRect(dc, &rect, brush);
    ::DeleteObject(brush);
    return 0;
}

int CButtonKV::PaintFrame(HDC dc, const RECT& rect) {
    const skin::ButtonFrame frame = skin::FrameFor(m_hover, m_pressed);
    if (frame.drawn) {
        Draw3dRect(dc, rect, FrameColor(frame.topLeft), FrameColor(frame.bottomRight));
    }
    return 0;
}

void CButtonKV::PaintIcon(HDC dc, bool hasCaption, const RECT& item, RECT& caption, bool pressed,
                          bool disabled) {
    const bool hot = skin::ShowsHotIcon(m_hover, pressed, m_idle.handle != nullptr);
    const Icon& icon = hot ? m_hot : m_idle;
    skin::SkinRect captionArea = ToSkinRect(caption);
    const RECT place = ToRect(skin::PlaceIcon(ToSkinRect(item), hasCaption, pressed, icon.width,
                                              icon.height, captionArea));
    caption = ToRect(captionArea);
    ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.handle), 0, place.left,
                 place.top, place.right - place.left, place.bottom - place.top,
                 DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
}

void CButtonKV::PaintCaption(HDC dc, const wchar_t* text, const RECT&, RECT& caption, bool pressed,
                             bool disabled) {
    if (pressed) caption = ToRect(skin::Offset(ToSkinRect(caption), skin::kPressedShift));
    const skin::SkinRect kept = ToSkinRect(caption);
    RECT size = caption;
    ::DrawTextW(dc, text, -1, &size, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
    // Centred from where the measurement left the text's corner.
    const skin::SkinRect measured =
        skin::CentreCaption({size.left, size.top, kept.width, kept.height}, size.right - size.left,
                            size.bottom - size.top);
    ::SetBkMode(dc, TRANSPARENT);
    if (disabled) {
        RECT emboss = ToRect(skin::Offset(measured, skin::kEmbossShift));
        ::SetTextColor(dc, FrameColor(skin::FrameColor::Highlight));
        ::DrawTextW(dc, text, -1, &emboss, DT_WORDBREAK | DT_CENTER);
        RECT shadow = ToRect(measured);
        ::SetTextColor(dc, FrameColor(skin::FrameColor::Shadow));
        ::DrawTextW(dc, text, -1, &shadow, DT_WORDBREAK | DT_CENTER);
    } else {
        RECT place = ToRect(measured);
        ::SetTextColor(dc, m_colors[skin::TextSlot(m_hover, pressed, m_focused)]);
        ::DrawTextW(dc, text, -1, &place, DT_WORDBREAK | DT_CENTER);
    }
}

void CButtonKV::CopyParentBackground(HDC dc) {
    const HWND parent = ::GetParent(m_hwnd);
    const HDC parentDc = ::GetDC(parent);
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    RECT window{};
    ::GetWindowRect(m_hwnd, &window);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&window), 2);
    if (m_backgroundDc == nullptr) {
        m_backgroundDc = ::CreateCompatibleDC(parentDc);
        m_backgroundBitmap = ::CreateCompatibleBitmap(parentDc, client.right, client.bottom);
        m_previousBitmap = ::SelectObject(m_backgroundDc, m_backgroundBitmap);
        ::BitBlt(m_backgroundDc, 0, 0, client.right, client.bottom, parentDc, window.left,
                 window.top, SRCCOPY);
    }
    ::BitBlt(dc, 0, 0, client.right, client.bottom, m_backgroundDc, 0, 0, SRCCOPY);
    ::ReleaseDC(parent, parentDc);
}

void CButtonKV::DiscardBackground() {
    if (m_backgroundDc && m_previousBitmap) ::SelectObject(m_backgroundDc, m_previousBitmap);
    if (m_backgroundBitmap) ::DeleteObject(m_backgroundBitmap);
    if (m_backgroundDc) ::DeleteDC(m_backgroundDc);
    m_backgroundDc = nullptr;
    m_backgroundBitmap = nullptr;
    m_previousBitmap = nullptr;
}

void CButtonKV::UseParentBackground(bool repaint) {
    m_parentBackground = 1;
    DiscardBackground();
    if (repaint) Invalidate();
}

void CButtonKV::ReleaseImages() {
    if (m_hot.handle) ::DestroyIcon(m_hot.handle);
    if (m_idle.handle) ::DestroyIcon(m_idle.handle);
    m_hot = {};
    m_idle = {};
}

bool CButtonKV::ReadIconSize(HICON icon, Icon& slot) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return false;
    // For an icon the hot spot is its centre.
    slot.width = static_cast<int>(info.xHotspot) * 2;
    slot.height = static_cast<int>(info.yHotspot) * 2;
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    return true;
}

int CButtonKV::AssignIcons(UINT hotId, int hotWidth, int hotHeight, UINT idleId, int idleWidth,
                           int idleHeight) {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    const auto hot = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(hotId), IMAGE_ICON,
                                                     hotWidth, hotHeight, LR_DEFAULTCOLOR));
    HICON idle = nullptr;
    if (idleId != 0) {
        idle = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(idleId), IMAGE_ICON,
                                               idleWidth, idleHeight, LR_DEFAULTCOLOR));
    }
    return AssignIconHandles(hot, idle);
}

int CButtonKV::AssignIconHandles(HICON hot, HICON idle) {
    ReleaseImages();
    if (hot == nullptr) {
        Invalidate();
        return 0;
    }
    m_hot.handle = hot;
    if (!ReadIconSize(hot, m_hot)) {
        ReleaseImages();
        return 1;
    }
    if (idle) {
        m_idle.handle = idle;
        if (!ReadIconSize(idle, m_idle)) {
            ReleaseImages();
            return 1;
        }
    }
    Invalidate();
    return 0;
}

void CButtonKV::EnsureTooltip() {
    if (m_tooltip) return;
    m_tooltip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(m_tooltip, TTM_ACTIVATE, FALSE, 0);
    ::SendMessageW(m_tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
}

void CButtonKV::AssignTooltip(const wchar_t* text, bool activate) {
    if (text == nullptr) return;
    EnsureTooltip();
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the common controls
    tool.hwnd = m_hwnd;
    tool.uId = 1;
    tool.lpszText = const_cast<wchar_t*>(text);
    if (::SendMessageW(m_tooltip, TTM_GETTOOLCOUNT, 0, 0) == 0) {
        ::GetClientRect(m_hwnd, &tool.rect);
        ::SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    ::SendMessageW(m_tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(m_tooltip, TTM_ACTIVATE, activate ? TRUE : FALSE, 0);
}

}  // namespace tamblor::win
