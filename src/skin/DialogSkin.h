#pragma once

#include <cstdint>

namespace tamblor::skin {

// What both windows give the dialog's controls once they exist.

// The Exit and Start upgrade buttons' icons, in pixels.
inline constexpr int kButtonIconSize = 48;

// The log: a fixed-pitch face with cells of 18 pixels, in violet (COLORREF: red 186, green 85,
// blue 211).
inline constexpr wchar_t kLogFontFace[] = L"Courier New";
inline constexpr int kLogFontHeight = 18;
inline constexpr int kLogFontStyle = 0x40;
inline constexpr std::uint32_t kLogTextColor = 0x00D355BA;

}  // namespace tamblor::skin
