#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "controls/CylinderProgressCtrlKV.h"
#include "skin/CylinderMath.h"

namespace tamblor {
namespace {

using skin::FillLength;
using skin::ShadeColor;
using test::CBackdrop;
using test::Render;
using test::Rgb;

constexpr std::uint32_t kGreen = 0xFF008000;
constexpr int kHeight = 16;
constexpr int kMidRow = 7;

TEST(ShadeColor, HalvesAndScalesEachChannelKeepingAlpha) {
    struct Case {
        std::uint32_t color;
        float factor;
        std::uint32_t shaded;
    };
    const Case cases[] = {
        {0xFFFFD700, 0.8f, 0xFFE5C100},  // gold: (229, 193, 0)
        {0xFFFFD700, 0.4f, 0xFFB29600},  // (178, 150, 0)
        {0xFFD3D3D3, 0.8f, 0xFFBDBDBD},  // light grey: (189, 189, 189)
        {0xFFD3D3D3, 0.4f, 0xFF939393},  // (147, 147, 147)
        {0xFF008000, 0.8f, 0xFF007300},  // green: (0, 115, 0)
        {0x40FFFFFF, 0.8f, 0x40E5E5E5},  // alpha untouched
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShadeColor(c.color, c.factor), c.shaded)
            << std::hex << c.color << " x " << c.factor;
    }
}

// A bar of body width `body` (client width body + 11) alone on a flat backdrop.
struct BarOnBackdrop {
    explicit BarOnBackdrop(int body) : backdrop(QSize(body + 11, kHeight)), bar(&backdrop) {
        bar.setGeometry(0, 0, body + 11, kHeight);
    }
    QImage Shot() { return Render(backdrop); }

    CBackdrop backdrop;
    CCylinderProgressCtrlKV bar;
};

bool IsGold(QRgb pixel) { return qRed(pixel) > 190 && qGreen(pixel) > 160 && qBlue(pixel) < 60; }

bool IsOutline(QRgb pixel) {
    return std::abs(qRed(pixel) - qBlue(pixel)) < 20 && qRed(pixel) > 100 && qRed(pixel) < 160;
}

TEST(CylinderProgress, FullBarEndsOnePixelShortForSomeBodyWidths) {
    // At 100 the filled end face sits at the fill length L, its right outline at L + 10. With
    // L the whole body that outline is the last column; one pixel short, it is the one before.
    struct Case {
        int body;
        bool full;
    };
    for (const Case c : {Case{53, false}, Case{105, false}, Case{100, true}, Case{64, true}}) {
        BarOnBackdrop fixture(c.body);
        fixture.bar.SetPosition(100);
        const QImage shot = fixture.Shot();
        const int end = c.full ? c.body + 10 : c.body + 9;
        EXPECT_TRUE(IsOutline(Rgb(shot, end, kMidRow))) << "body " << c.body;
        EXPECT_TRUE(IsGold(Rgb(shot, end - 1, kMidRow))) << "body " << c.body;
        EXPECT_TRUE(IsGold(Rgb(shot, end - 5, kMidRow))) << "body " << c.body;
    }
}

TEST(CylinderProgress, LeavesTheParentsPixelsOutsideTheCylinder) {
    for (int position : {0, 37, 100}) {
        BarOnBackdrop fixture(105);
        fixture.bar.SetPosition(position);
        const QImage shot = fixture.Shot();
        const int w = shot.width();
        const int h = shot.height();
        for (QPoint corner :
             {QPoint(0, 0), QPoint(1, 1), QPoint(0, h - 1), QPoint(1, h - 2), QPoint(w - 1, 0),
              QPoint(w - 2, 1), QPoint(w - 1, h - 1), QPoint(w - 2, h - 2)}) {
            EXPECT_EQ(Rgb(shot, corner.x(), corner.y()), CBackdrop::kColor)
                << "position " << position << " at " << corner.x() << "," << corner.y();
        }
        EXPECT_NE(Rgb(shot, 20, kMidRow), CBackdrop::kColor) << "position " << position;
    }
}

TEST(CylinderProgress, LeftEndFaceShowsOnlyWhileEmpty) {
    const QRgb startFace = ShadeColor(CCylinderProgressCtrlKV::kLightGrey, 0.4f);
    BarOnBackdrop fixture(105);
    EXPECT_EQ(Rgb(fixture.Shot(), 5, kMidRow), startFace);
    fixture.bar.SetPosition(1);
    EXPECT_NE(Rgb(fixture.Shot(), 5, kMidRow), startFace);
}

TEST(CylinderProgress, FillColourSwitchRedrawsOnlyTheFilledSection) {
    BarOnBackdrop fixture(105);
    fixture.bar.SetPosition(40);
    const int fill = FillLength(105, 40);
    const QImage gold = fixture.Shot();
    EXPECT_EQ(Rgb(gold, fill + 5, kMidRow), ShadeColor(CCylinderProgressCtrlKV::kGold, 0.8f));

    fixture.bar.SetFillColor(kGreen, true);
    EXPECT_EQ(fixture.bar.FillColor(), kGreen);
    const QImage green = fixture.Shot();
    EXPECT_EQ(Rgb(green, fill + 5, kMidRow), ShadeColor(kGreen, 0.8f));
    EXPECT_NE(Rgb(green, fill / 2, kMidRow), Rgb(gold, fill / 2, kMidRow));
    // The empty tube and the bar's right end face stay as they were.
    for (int x : {fill + 20, 105 + 5}) {
        EXPECT_EQ(Rgb(green, x, kMidRow), Rgb(gold, x, kMidRow)) << "column " << x;
    }
    EXPECT_EQ(Rgb(green, 105 + 5, kMidRow), ShadeColor(CCylinderProgressCtrlKV::kLightGrey, 0.8f));
}

TEST(CylinderProgress, PositionIsClampedForTheDrawingAndTheNativeBar) {
    struct Case {
        int requested;
        int stored;
    };
    for (const Case c : {Case{-5, 0}, Case{0, 0}, Case{63, 63}, Case{100, 100}, Case{250, 100}}) {
        BarOnBackdrop clamped(105);
        clamped.bar.SetPosition(c.requested);
        EXPECT_EQ(clamped.bar.Position(), c.stored);
        EXPECT_EQ(clamped.bar.value(), c.stored);

        BarOnBackdrop reference(105);
        reference.bar.SetPosition(c.stored);
        EXPECT_EQ(clamped.Shot(), reference.Shot()) << "requested " << c.requested;
    }
}

TEST(CylinderProgress, GlossIsBrightestSevenTenthsUpTheBody) {
    BarOnBackdrop fixture(105);
    const QImage shot = fixture.Shot();
    // Column 30 is inside the empty tube and clear of the percentage.
    int brightestRow = -1;
    int brightest = -1;
    for (int y = 1; y < kHeight - 2; ++y) {
        const int level = qGray(shot.pixel(30, y));
        if (level > brightest) {
            brightest = level;
            brightestRow = y;
        }
    }
    const double expected = (kHeight - 1) * (1.0 - 0.7);
    EXPECT_NEAR(brightestRow, expected, 1.0);
    EXPECT_GT(brightest, qGray(shot.pixel(30, kHeight - 3)));
}

// Dark pixels in the middle of the bar, where the percentage is written.
int TextPixels(const QImage& shot) {
    int count = 0;
    for (int y = 2; y < shot.height() - 2; ++y) {
        for (int x = shot.width() / 2 - 15; x < shot.width() / 2 + 15; ++x) {
            if (qGray(shot.pixel(x, y)) < 90) ++count;
        }
    }
    return count;
}

TEST(CylinderProgress, PercentageNeedsTheParentsFont) {
    BarOnBackdrop withParent(105);
    withParent.backdrop.setFont(QFont(QStringLiteral("Liberation Sans"), 12));
    EXPECT_GT(TextPixels(withParent.Shot()), 10);

    CCylinderProgressCtrlKV orphan;
    orphan.resize(116, kHeight);
    QImage alone(orphan.size(), QImage::Format_ARGB32);
    alone.fill(Qt::white);
    orphan.render(&alone);
    EXPECT_EQ(TextPixels(alone), 0);
}

}  // namespace
}  // namespace tamblor
