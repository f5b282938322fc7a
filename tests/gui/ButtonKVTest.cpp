#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QToolTip>

#include "GuiTestSupport.h"
#include "controls/ButtonKV.h"

namespace tamblor {
namespace {

using test::CBackdrop;
using test::Render;
using test::Rgb;

constexpr QRgb kHot = 0xFFE00000;
constexpr QRgb kIdle = 0xFF0000E0;
constexpr QRgb kMarker = 0xFF00C000;  // one pixel of the icon, at kMarkerAt
constexpr QPoint kMarkerAt(6, 6);

// A square icon of one colour with the marker pixel.
QPixmap Icon(QRgb color, int size = 20) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    image.setPixel(kMarkerAt, kMarker);
    return QPixmap::fromImage(image);
}

void SendMove(QWidget& target, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(target.mapToGlobal(at)), Qt::NoButton,
                     held, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &move);
}

void SendButton(QWidget& target, QEvent::Type type, QPoint at) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), QPointF(target.mapToGlobal(at)), Qt::LeftButton, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &event);
}

// Where the marker pixel of the icon shows, or (-1, -1).
QPoint FindMarker(const QImage& shot) {
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (Rgb(shot, x, y) == kMarker) return {x, y};
        }
    }
    return {-1, -1};
}

// A 60 x 40 button at (10, 10) on a flat backdrop, with hot and idle icons and the backdrop
// showing through its face.
class ButtonKVTest : public ::testing::Test {
  public:
    ButtonKVTest() : backdrop(QSize(80, 60)), button(&backdrop) {
        button.setGeometry(10, 10, 60, 40);
        EXPECT_EQ(button.AssignIconHandles(Icon(kHot), Icon(kIdle)), 0);
        button.UseParentBackground(false);
    }
    QImage Shot() { return Render(backdrop).copy(10, 10, 60, 40); }
    QColor Light() const { return button.palette().color(QPalette::Light); }
    QColor Dark() const { return button.palette().color(QPalette::Dark); }
    void Hover() { SendMove(button, QPoint(30, 20)); }

    CBackdrop backdrop;
    CButtonKV button;
};

TEST_F(ButtonKVTest, FrameAndIconFollowTheState) {
    struct Case {
        const char* state;
        std::function<void(ButtonKVTest&)> enter;
        QRgb topLeft;  // colour of the top row and the left column; 0: the backdrop
        QRgb bottomRight;
        QRgb icon;
        QPoint marker;  // centred 20 x 20 icon: (20, 10) + marker offset
    };
    const QRgb light = Light().rgb();
    const QRgb dark = Dark().rgb();
    const Case cases[] = {
        {"at rest", [](ButtonKVTest&) {}, CBackdrop::kColor, CBackdrop::kColor, kIdle, {26, 16}},
        {"hovered", [](ButtonKVTest& t) { t.Hover(); }, light, dark, kHot, {26, 16}},
        {"pressed", [](ButtonKVTest& t) { t.button.setDown(true); }, dark, light, kHot, {27, 17}},
    };
    for (const auto& c : cases) {
        button.setDown(false);
        SendMove(button, QPoint(-5, -5));
        c.enter(*this);
        const QImage shot = Shot();
        EXPECT_EQ(Rgb(shot, 10, 0), c.topLeft) << c.state;
        EXPECT_EQ(Rgb(shot, 0, 20), c.topLeft) << c.state;
        EXPECT_EQ(Rgb(shot, 59, 20), c.bottomRight) << c.state;
        EXPECT_EQ(Rgb(shot, 30, 39), c.bottomRight) << c.state;
        EXPECT_EQ(Rgb(shot, c.marker.x() + 4, c.marker.y() + 4), c.icon) << c.state;
        EXPECT_EQ(FindMarker(shot), c.marker) << c.state;
        // The face between frame and icon is the backdrop: no focus rectangle, no fill.
        EXPECT_EQ(Rgb(shot, 3, 3), CBackdrop::kColor) << c.state;
    }
}

TEST_F(ButtonKVTest, DisabledIconIsEmbossedInFrameColours) {
    button.setEnabled(false);
    const QImage shot = Shot();
    int relief = 0;
    for (int y = 10; y < 31; ++y) {
        for (int x = 20; x < 41; ++x) {
            const QRgb pixel = Rgb(shot, x, y);
            EXPECT_TRUE(pixel == CBackdrop::kColor || pixel == Light().rgb() ||
                        pixel == Dark().rgb())
                << x << "," << y;
            relief += pixel != CBackdrop::kColor;
        }
    }
    EXPECT_GT(relief, 300);
}

TEST_F(ButtonKVTest, HoverStartsOnlyOnAMoveWithoutAPressFromElsewhere) {
    SendMove(button, QPoint(30, 20), Qt::LeftButton);
    EXPECT_FALSE(button.IsHovered());
    SendMove(button, QPoint(30, 20));
    EXPECT_TRUE(button.IsHovered());
    // Once lit, a move with the button held keeps it lit.
    SendMove(button, QPoint(31, 20), Qt::LeftButton);
    EXPECT_TRUE(button.IsHovered());
}

TEST_F(ButtonKVTest, HoverEnds) {
    struct Case {
        const char* how;
        std::function<void(CButtonKV&)> end;
    };
    const Case cases[] = {
        {"mouse moved off", [](CButtonKV& b) { SendMove(b, QPoint(70, 20)); }},
        {"mouse left",
         [](CButtonKV& b) {
             QEvent leave(QEvent::Leave);
             QCoreApplication::sendEvent(&b, &leave);
         }},
        {"focus lost",
         [](CButtonKV& b) {
             QFocusEvent out(QEvent::FocusOut);
             QCoreApplication::sendEvent(&b, &out);
         }},
        {"window deactivated",
         [](CButtonKV& b) {
             QEvent change(QEvent::ActivationChange);
             QCoreApplication::sendEvent(&b, &change);
         }},
        {"disabled", [](CButtonKV& b) { b.setEnabled(false); }},
    };
    for (const auto& c : cases) {
        button.setEnabled(true);
        Hover();
        ASSERT_TRUE(button.IsHovered()) << c.how;
        c.end(button);
        EXPECT_FALSE(button.IsHovered()) << c.how;
        EXPECT_EQ(Rgb(Shot(), 10, 0), CBackdrop::kColor) << c.how;
    }
}

TEST_F(ButtonKVTest, DoubleClickGivesTwoClicks) {
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    const QPoint at(30, 20);
    SendButton(button, QEvent::MouseButtonPress, at);
    SendButton(button, QEvent::MouseButtonRelease, at);
    SendButton(button, QEvent::MouseButtonDblClick, at);
    SendButton(button, QEvent::MouseButtonRelease, at);
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(ButtonKVTest, IconPlacement) {
    struct Case {
        QSize button;
        int icon;
        QString caption;
        bool pressed;
        QPoint marker;
    };
    const Case cases[] = {
        {{60, 40}, 20, {}, false, {26, 16}},
        {{60, 40}, 20, {}, true, {27, 17}},
        {{61, 41}, 20, {}, false, {26, 16}},                   // halves truncate
        {{20, 20}, 30, {}, false, {1, 1}},                     // larger than the button: (-5, -5)
        {{60, 40}, 20, QStringLiteral("Go"), false, {9, 16}},  // beside a caption: margin 3
    };
    for (const auto& c : cases) {
        button.resize(c.button);
        button.setText(c.caption);
        button.setDown(c.pressed);
        button.AssignIconHandles(Icon(kHot, c.icon), Icon(kIdle, c.icon));
        const QImage shot = Render(backdrop).copy(10, 10, c.button.width(), c.button.height());
        EXPECT_EQ(FindMarker(shot), c.marker) << c.button.width() << "x" << c.button.height();
    }
}

TEST_F(ButtonKVTest, NullHotIconClearsBothIcons) {
    EXPECT_EQ(button.AssignIconHandles(QPixmap(), Icon(kIdle)), 0);
    EXPECT_TRUE(button.HotIcon().isNull());
    EXPECT_TRUE(button.IdleIcon().isNull());
    EXPECT_EQ(Rgb(Shot(), 30, 20), CBackdrop::kColor);
}

TEST_F(ButtonKVTest, TooltipFollowsItsActivation) {
    button.AssignTooltip(QStringLiteral("Exit"), true);
    EXPECT_EQ(button.toolTip(), QStringLiteral("Exit"));
    button.AssignTooltip(QString(), true);
    EXPECT_EQ(button.toolTip(), QStringLiteral("Exit"));
    button.AssignTooltip(QStringLiteral("Exit"), false);
    EXPECT_TRUE(button.toolTip().isEmpty());
}

// Asks `button` for its tooltip as the pointer resting on it would; true if one shows.
bool TooltipShowsOver(CButtonKV& button) {
    QToolTip::hideText();
    const QPoint at = button.rect().center();
    QHelpEvent help(QEvent::ToolTip, at, button.mapToGlobal(at));
    QApplication::sendEvent(&button, &help);
    return QToolTip::isVisible() && QToolTip::text() == button.toolTip();
}

TEST_F(ButtonKVTest, NoTooltipWhileDisabled) {
    // A disabled button gets no mouse input, and so its tooltip never hears of the pointer.
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
    button.AssignTooltip(QStringLiteral("Start upgrade"), true);
    EXPECT_TRUE(TooltipShowsOver(button));

    // One showing when the button is disabled goes at once.
    button.setEnabled(false);
    EXPECT_FALSE(QToolTip::isVisible());
    EXPECT_FALSE(TooltipShowsOver(button));

    button.setEnabled(true);
    EXPECT_TRUE(TooltipShowsOver(button));
    QToolTip::hideText();
}

TEST(ButtonKVFocus, DisablingHandsTheFocusToTheNextTabStop) {
    QWidget dialog;
    CButtonKV first(&dialog);
    QPushButton hidden(&dialog);
    QPushButton noTabStop(&dialog);
    QPushButton next(&dialog);
    hidden.hide();
    noTabStop.setFocusPolicy(Qt::ClickFocus);
    dialog.show();
    dialog.activateWindow();

    // Even when another control has the focus.
    noTabStop.setFocus();
    first.setEnabled(false);
    EXPECT_EQ(dialog.focusWidget(), &next);

    // With no other tab stop, the dialog itself takes it.
    first.setEnabled(true);
    next.setEnabled(false);
    first.setFocus();
    first.setEnabled(false);
    EXPECT_TRUE(dialog.focusWidget() == nullptr || dialog.focusWidget() == &dialog);
    EXPECT_FALSE(next.hasFocus());
}

}  // namespace
}  // namespace tamblor
