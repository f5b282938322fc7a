#pragma once

#include <QColor>
#include <cstdint>

namespace tamblor {

// Colours arrive in two encodings: COLORREF (0x00BBGGRR) for text and ARGB (0xAARRGGBB) for
// the anti-aliased drawing.
inline QColor ColorFromColorRef(std::uint32_t colorRef) {
    return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                  static_cast<int>((colorRef >> 16) & 0xFF));
}

inline QColor ColorFromArgb(std::uint32_t argb) { return QColor::fromRgba(argb); }

inline std::uint32_t ArgbFromColor(const QColor& color) { return color.rgba(); }

}  // namespace tamblor
