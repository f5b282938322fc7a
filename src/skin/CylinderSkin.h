#pragma once

#include <cstdint>

#include "SkinRect.h"
#include "app/UiPort.h"

namespace tamblor::skin {

// The progress bar's colours (ARGB). The bar starts in the engine's gold.
inline constexpr std::uint32_t kCylinderFill = kFillGold;
inline constexpr std::uint32_t kCylinderEmpty = 0xFFD3D3D3;    // light grey
inline constexpr std::uint32_t kCylinderOutline = 0xFF808080;  // grey

// End faces are the body's colour darkened: the left one deeper than the right.
inline constexpr float kStartFaceShade = 0.4f;
inline constexpr float kEndFaceShade = 0.8f;

// How one section of the tube (the empty or the filled part) is drawn.
struct CylinderSection {
    SkinRect body;       // the section's body, from its left end to where its end face begins
    SkinRect startFace;  // the ellipse at its left end
    SkinRect endFace;    // the ellipse at its right end
    bool drawn = false;
    bool drawStartFace = false;
    bool outlineBody = false;
    bool outlineStartFace = false;
    bool outlineEndFace = false;
};

// Every rectangle of the bar for a client area of `width` x `height` pixels at `position` of
// `span`. The geometry puts pixel centres on integer coordinates: the last row and column of
// the client area are the outlines' far halves.
struct CylinderLayout {
    SkinRect full;  // where the percentage is centred
    SkinRect body;  // the whole tube without its right end face
    int percent = 0;
    int fillLength = 0;
    CylinderSection empty;   // drawn first
    CylinderSection filled;  // over it, only when the percentage is not 0
    SkinRect closingFace;    // the outline of the bar's right end, drawn last
};

CylinderLayout LayOutCylinder(int width, int height, int position, int span);

}  // namespace tamblor::skin
