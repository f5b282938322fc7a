#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QSignalSpy>

#include "GuiTestSupport.h"
#include "controls/ColorEdit.h"

namespace tamblor {
namespace {

using test::CBackdrop;
using test::Render;
using test::Rgb;

TEST(ColorEdit, TextColourIsGreenUntilSetAndThenTheGivenColorref) {
    CColorEdit edit;
    EXPECT_EQ(edit.palette().color(QPalette::Text), QColor(0, 255, 0));
    edit.SetEditTextColor(0x00D355BA);
    EXPECT_EQ(edit.palette().color(QPalette::Text), QColor(186, 85, 211));
}

TEST(ColorEdit, StyleBitsSetFontAttributes) {
    struct Case {
        int style;
        int weight;
        bool italic;
        bool underline;
        bool strikeOut;
    };
    const Case cases[] = {
        {0x40, QFont::Normal, false, false, false},
        {0x03, QFont::Black, true, false, false},
        {0x0C, QFont::Normal, false, true, true},
        {0xF0, QFont::Normal, false, false, false},
    };
    for (const auto& c : cases) {
        CColorEdit edit;
        edit.m_fontTarget = &edit;
        edit.SetEditFont(QStringLiteral("Courier New"), 18, c.style);
        const QFont font = edit.font();
        EXPECT_EQ(font.weight(), c.weight) << std::hex << c.style;
        EXPECT_EQ(font.italic(), c.italic) << std::hex << c.style;
        EXPECT_EQ(font.underline(), c.underline) << std::hex << c.style;
        EXPECT_EQ(font.strikeOut(), c.strikeOut) << std::hex << c.style;
    }
}

TEST(ColorEdit, StyleBitsNeverClearAnAttribute) {
    CColorEdit edit;
    edit.m_fontTarget = &edit;
    edit.SetEditFont(QStringLiteral("Courier New"), 18, 0x01);
    edit.SetEditFont(QStringLiteral("Courier New"), 18, 0x02);
    EXPECT_EQ(edit.font().weight(), QFont::Black);
    EXPECT_TRUE(edit.font().italic());
}

TEST(ColorEdit, PositiveHeightIsTheCellHeight) {
    CColorEdit edit;
    edit.m_fontTarget = &edit;
    edit.SetEditFont(QStringLiteral("Courier New"), 18, 0x40);
    EXPECT_NEAR(QFontMetrics(edit.font()).height(), 18, 1);
    EXPECT_TRUE(QFontInfo(edit.font()).fixedPitch());
}

TEST(ColorEdit, PaintsNoBackgroundOfItsOwn) {
    CBackdrop backdrop(QSize(120, 60));
    CColorEdit edit(&backdrop);
    edit.setGeometry(0, 0, 120, 60);
    edit.setFrameStyle(QFrame::NoFrame);
    edit.setPlainText(QStringLiteral("x"));
    const QImage shot = Render(backdrop);
    EXPECT_EQ(Rgb(shot, 100, 40), CBackdrop::kColor);
    EXPECT_EQ(Rgb(shot, 60, 30), CBackdrop::kColor);
}

TEST(ColorEdit, AnnouncesTheFocus) {
    QWidget window;
    CColorEdit edit(&window);
    QSignalSpy focus(&edit, &CColorEdit::focusEntered);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit.setFocus();
    EXPECT_EQ(focus.count(), 1);
}

}  // namespace
}  // namespace tamblor
