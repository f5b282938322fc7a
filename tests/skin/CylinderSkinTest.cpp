#include <gtest/gtest.h>

#include <string>

#include "skin/CylinderMath.h"
#include "skin/CylinderSkin.h"

namespace tamblor::skin {
namespace {

// A bar whose client area is `body` + 11 pixels wide: the body, the right end face's depth and
// the last column, which holds the outlines' far halves.
CylinderLayout Bar(int body, int position, int span = 100) {
    return LayOutCylinder(body + kCapDepth + 1, 16, position, span);
}

TEST(CylinderSkin, EmptyBarIsOneTubeWithBothEndFaces) {
    const CylinderLayout layout = Bar(105, 0);
    EXPECT_EQ(layout.full, (SkinRect{0, 0, 115, 15}));
    EXPECT_EQ(layout.body, (SkinRect{0, 0, 105, 15}));
    EXPECT_EQ(layout.percent, 0);
    EXPECT_FALSE(layout.filled.drawn);
    ASSERT_TRUE(layout.empty.drawn);
    EXPECT_EQ(layout.empty.body, layout.body);
    EXPECT_TRUE(layout.empty.drawStartFace);
    EXPECT_EQ(layout.empty.startFace, (SkinRect{0, 0, kCapDepth, 15}));
    EXPECT_EQ(layout.empty.endFace, (SkinRect{105, 0, kCapDepth, 15}));
    EXPECT_EQ(layout.closingFace, layout.empty.endFace);
}

TEST(CylinderSkin, FilledSectionMeetsTheEmptyOneAtTheFillLength) {
    struct Case {
        int body, position, span;
        int percent, fill;
    };
    const Case cases[] = {
        {105, 40, 100, 40, 42},
        {105, 100, 100, 100, 104},  // one pixel short of the body, as the bar always was
        {53, 100, 100, 100, 52},
        {100, 100, 100, 100, 100},
        {105, 1, 3, 33, 34},  // another span: the percentage is truncated
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("body " + std::to_string(c.body) + " at " + std::to_string(c.position));
        const CylinderLayout layout = Bar(c.body, c.position, c.span);
        EXPECT_EQ(layout.percent, c.percent);
        EXPECT_EQ(layout.fillLength, c.fill);
        ASSERT_TRUE(layout.filled.drawn);
        EXPECT_EQ(layout.filled.body, (SkinRect{0, 0, c.fill, 15}));
        EXPECT_EQ(layout.filled.endFace, (SkinRect{c.fill, 0, kCapDepth, 15}));
        EXPECT_EQ(layout.empty.body, (SkinRect{c.fill, 0, c.body - c.fill, 15}));
        // The empty tube's hollow left end is the filled section's end face.
        EXPECT_EQ(layout.empty.startFace, layout.filled.endFace);
        EXPECT_FALSE(layout.empty.drawStartFace);
        EXPECT_EQ(layout.closingFace, (SkinRect{c.body, 0, kCapDepth, 15}));
    }
}

TEST(CylinderSkin, OnlyTheVisibleEdgesAreOutlined) {
    const CylinderLayout layout = Bar(105, 50);
    EXPECT_TRUE(layout.empty.outlineBody);
    EXPECT_TRUE(layout.empty.outlineStartFace);
    EXPECT_FALSE(layout.empty.outlineEndFace);  // the closing face outlines the bar's end
    EXPECT_TRUE(layout.filled.outlineBody);
    EXPECT_TRUE(layout.filled.outlineEndFace);
    EXPECT_FALSE(layout.filled.drawStartFace);
}

TEST(CylinderSkin, StartsGoldAndShadesEndFacesDeeperOnTheLeft) {
    EXPECT_EQ(kCylinderFill, kFillGold);
    EXPECT_EQ(ShadeColor(kCylinderFill, kEndFaceShade), 0xFFE5C100u);
    EXPECT_EQ(ShadeColor(kCylinderFill, kStartFaceShade), 0xFFB29600u);
    EXPECT_EQ(ShadeColor(kCylinderEmpty, kStartFaceShade), 0xFF939393u);
}

}  // namespace
}  // namespace tamblor::skin
