#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/ButtonSkin.h"

namespace tamblor::skin {
namespace {

TEST(ButtonSkin, StateChoosesSlotsFrameAndIcon) {
    struct Case {
        bool hover, pressed, focused;
        ButtonColorSlot face, text;
        bool frame;
        FrameColor topLeft;
    };
    const Case cases[] = {
        {false, false, false, IdleFace, IdleText, false, FrameColor::Highlight},
        {false, false, true, FocusFace, FocusText, false, FrameColor::Highlight},
        {true, false, true, HotFace, HotText, true, FrameColor::Highlight},  // raised
        {false, true, false, HotFace, HotText, true, FrameColor::Shadow},    // sunken
        {true, true, true, HotFace, HotText, true, FrameColor::Shadow},      // pressed wins
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hover) + std::to_string(c.pressed) +
                     std::to_string(c.focused));
        EXPECT_EQ(FaceSlot(c.hover, c.pressed, c.focused), c.face);
        EXPECT_EQ(TextSlot(c.hover, c.pressed, c.focused), c.text);
        const ButtonFrame frame = FrameFor(c.hover, c.pressed);
        EXPECT_EQ(frame.drawn, c.frame);
        if (c.frame) {
            EXPECT_EQ(frame.topLeft, c.topLeft);
            EXPECT_NE(frame.bottomRight, frame.topLeft);
        }
        EXPECT_EQ(ShowsHotIcon(c.hover, c.pressed, true), c.hover || c.pressed);
        EXPECT_TRUE(ShowsHotIcon(c.hover, c.pressed, false));
    }
}

// The strips painted in order onto a grid: 'L' top-left colour, 'R' bottom-right, '.' none.
std::vector<std::string> PaintFrame(int width, int height) {
    std::vector<std::string> grid(static_cast<std::size_t>(height),
                                  std::string(static_cast<std::size_t>(width), '.'));
    for (const FrameStrip& strip : FrameStrips({0, 0, width, height})) {
        for (int y = strip.rect.y; y < strip.rect.y + strip.rect.height; ++y) {
            for (int x = strip.rect.x; x < strip.rect.x + strip.rect.width; ++x) {
                grid.at(static_cast<std::size_t>(y)).at(static_cast<std::size_t>(x)) =
                    strip.topLeft ? 'L' : 'R';
            }
        }
    }
    return grid;
}

TEST(ButtonSkin, FrameIsOnePixelWithTheFarCornersInTheBottomRightColour) {
    EXPECT_EQ(PaintFrame(5, 4), (std::vector<std::string>{
                                    "LLLLR",
                                    "L...R",
                                    "L...R",
                                    "RRRRR",
                                }));
    EXPECT_EQ(PaintFrame(2, 2), (std::vector<std::string>{"LR", "RR"}));
}

TEST(ButtonSkin, FrameStripsStayInsideAnOffsetItem) {
    const SkinRect item{84, 6, 99, 39};
    for (const FrameStrip& strip : FrameStrips(item)) {
        EXPECT_GE(strip.rect.x, item.x);
        EXPECT_GE(strip.rect.y, item.y);
        EXPECT_LE(strip.rect.x + strip.rect.width, item.x + item.width);
        EXPECT_LE(strip.rect.y + strip.rect.height, item.y + item.height);
    }
}

TEST(ButtonSkin, IconIsCentredOrBesideTheCaptionAndMovesWhenPressed) {
    struct Case {
        const char* what;
        SkinRect item;
        bool hasCaption;
        bool pressed;
        int icon;
        int x, y;          // the icon's corner
        SkinRect caption;  // what is left for the caption
    };
    const Case cases[] = {
        // A 48-pixel icon taller than its button starts above the top edge.
        {"centred", {0, 0, 99, 39}, false, false, 48, 25, -4, {0, 0, 99, 39}},
        {"centred, pressed", {0, 0, 99, 39}, false, true, 48, 26, -3, {0, 0, 99, 39}},
        {"odd spare", {0, 0, 50, 20}, false, false, 15, 17, 2, {0, 0, 50, 20}},
        {"with caption", {0, 0, 99, 39}, true, false, 16, 3, 11, {19, 0, 80, 39}},
        {"with caption, offset", {10, 20, 99, 39}, true, true, 16, 14, 32, {29, 20, 80, 39}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SkinRect caption = c.item;
        const SkinRect place = PlaceIcon(c.item, c.hasCaption, c.pressed, c.icon, c.icon, caption);
        EXPECT_EQ(place.x, c.x);
        EXPECT_EQ(place.y, c.y);
        EXPECT_EQ(caption, c.caption);
        // The area reaches the item's far corner (moved with the press), as the Win32 painter
        // hands it to the icon drawing.
        const int shift = c.pressed ? 1 : 0;
        EXPECT_EQ(place.x + place.width, c.item.x + c.item.width + shift);
        EXPECT_EQ(place.y + place.height, c.item.y + c.item.height + shift);
    }
}

TEST(ButtonSkin, CaptionIsCentredRoundingTowardsTheOrigin) {
    struct Case {
        SkinRect area;
        int width, height;
        SkinRect placed;
    };
    const Case cases[] = {
        {{0, 0, 24, 14}, 7, 13, {8, 0, 7, 13}},      // odd spare: the extra pixel goes right
        {{5, 3, 20, 10}, 10, 4, {10, 6, 10, 4}},     // offset area
        {{0, 0, 10, 10}, 13, 15, {-1, -2, 13, 15}},  // wider and taller than the area
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CentreCaption(c.area, c.width, c.height), c.placed);
    }
}

}  // namespace
}  // namespace tamblor::skin
