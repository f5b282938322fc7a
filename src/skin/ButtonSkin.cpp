#include "ButtonSkin.h"

namespace tamblor::skin {

ButtonColorSlot FaceSlot(bool hover, bool pressed, bool focused) {
    return (hover || pressed) ? HotFace : focused ? FocusFace : IdleFace;
}

ButtonColorSlot TextSlot(bool hover, bool pressed, bool focused) {
    return (hover || pressed) ? HotText : focused ? FocusText : IdleText;
}

bool ShowsHotIcon(bool hover, bool pressed, bool hasIdleIcon) {
    return pressed || hover || !hasIdleIcon;
}

ButtonFrame FrameFor(bool hover, bool pressed) {
    if (pressed) return {true, FrameColor::Shadow, FrameColor::Highlight};
    if (hover) return {true, FrameColor::Highlight, FrameColor::Shadow};
    return {};
}

std::array<FrameStrip, 4> FrameStrips(const SkinRect& r) {
    return {{
        {{r.x, r.y, r.width - 1, 1}, true},
        {{r.x, r.y, 1, r.height - 1}, true},
        {{r.x + r.width - 1, r.y, 1, r.height}, false},
        {{r.x, r.y + r.height - 1, r.width, 1}, false},
    }};
}

SkinRect PlaceIcon(const SkinRect& item, bool hasCaption, bool pressed, int iconWidth,
                   int iconHeight, SkinRect& caption) {
    int left = 0;
    if (hasCaption) {
        left = kImageMargin;
        caption.x += iconWidth + kImageMargin;
        caption.width -= iconWidth + kImageMargin;
    } else {
        left = (item.width - iconWidth) / 2;
    }
    const int top = (item.height - iconHeight) / 2;
    SkinRect place{item.x + left, item.y + top, item.width - left, item.height - top};
    if (pressed) place = Offset(place, kPressedShift);
    return place;
}

SkinRect CentreCaption(const SkinRect& area, int textWidth, int textHeight) {
    return {area.x + (area.width - textWidth) / 2, area.y + (area.height - textHeight) / 2,
            textWidth, textHeight};
}

}  // namespace tamblor::skin
