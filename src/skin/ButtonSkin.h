#pragma once

#include <array>

#include "SkinRect.h"

namespace tamblor::skin {

// The flat icon button's look, for both painters.

// Face and text colours, one pair per state.
enum ButtonColorSlot { HotFace, HotText, IdleFace, IdleText, FocusFace, FocusText, kButtonSlots };

// Hot while the pointer is over the button or it is held down, else focus, else idle.
ButtonColorSlot FaceSlot(bool hover, bool pressed, bool focused);
ButtonColorSlot TextSlot(bool hover, bool pressed, bool focused);

// The hot icon shows while hovered or pressed, and always when there is no idle icon.
bool ShowsHotIcon(bool hover, bool pressed, bool hasIdleIcon);

// The two system colours of the 3-D frame and of a disabled caption's emboss.
enum class FrameColor { Highlight, Shadow };

// A one-pixel 3-D frame: raised while hovered, sunken while pressed, none otherwise.
struct ButtonFrame {
    bool drawn = false;
    FrameColor topLeft = FrameColor::Highlight;
    FrameColor bottomRight = FrameColor::Shadow;
};
ButtonFrame FrameFor(bool hover, bool pressed);

// One strip of the frame: the top row and left column (each one short of the far corner) take
// the top-left colour, the right column and bottom row (whole) the bottom-right one. Painted
// in this order.
struct FrameStrip {
    SkinRect rect;
    bool topLeft = true;
};
std::array<FrameStrip, 4> FrameStrips(const SkinRect& item);

inline constexpr int kImageMargin = 3;
// Icon and caption move by this while the button is held down.
inline constexpr SkinOffset kPressedShift{1, 1};
// A disabled caption is drawn twice: in the highlight colour moved by this, then in the
// shadow colour in place.
inline constexpr SkinOffset kEmbossShift{1, 1};

// Where the icon goes: centred across the button without a caption, else at the margin from
// the left edge, with the caption's area starting past it; centred down either way. The
// returned area runs from the icon's corner to the item's far corner; only its origin is
// the icon's. `caption` is the caption's area, which it narrows when there is a caption.
SkinRect PlaceIcon(const SkinRect& item, bool hasCaption, bool pressed, int iconWidth,
                   int iconHeight, SkinRect& caption);

// A measured caption of `textWidth` x `textHeight` centred in `area` (halves rounded towards
// zero, so a wider text sticks out on both sides).
SkinRect CentreCaption(const SkinRect& area, int textWidth, int textHeight);

}  // namespace tamblor::skin
