#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>
#include <QtMath>
#include <vector>

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

// Tops of the edit's first lines, in viewport pixels.
std::vector<int> LineTops(CColorEdit& edit) {
    std::vector<int> tops;
    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
        QTextCursor at(block);
        tops.push_back(edit.cursorRect(at).top());
    }
    return tops;
}

TEST(ColorEdit, PositiveHeightIsTheCellHeightAndTheLinePitch) {
    // Liberation Mono's cell is 1.133 em: 18 pixels take an em of 16, whose ascent and descent,
    // each rounded up, would make lines 19 pixels apart.
    struct Case {
        int height;
        int em;
    };
    const Case cases[] = {{18, 16}, {20, 18}, {13, 11}};
    for (const auto& c : cases) {
        CColorEdit edit;
        edit.m_fontTarget = &edit;
        edit.SetEditFont(QStringLiteral("Courier New"), c.height, 0x40);
        edit.resize(300, 200);
        edit.setPlainText(QStringLiteral("one\ntwo\nthree"));
        edit.append(QStringLiteral("four"));
        edit.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
        EXPECT_EQ(QFontInfo(edit.font()).pixelSize(), c.em) << c.height;
        EXPECT_TRUE(QFontInfo(edit.font()).fixedPitch());
        EXPECT_EQ(edit.LinePitch(), c.height);
        const std::vector<int> tops = LineTops(edit);
        ASSERT_EQ(tops.size(), 4u);
        for (std::size_t i = 1; i < tops.size(); ++i) {
            EXPECT_EQ(tops[i] - tops[i - 1], c.height) << c.height << " line " << i;
        }
    }
}

// Where the first line that shows, whole or in part, starts in the viewport; 0: at its top.
// Lines are one pitch apart (a block's bounding box may reach a pixel into the next line).
int TopLineOffset(const CColorEdit& edit) {
    const int scrolled = edit.verticalScrollBar()->value();
    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
        const int top = qRound(block.layout()->position().y());
        if (top + edit.LinePitch() > scrolled) return top - scrolled;
    }
    return 0;
}

int LastLineBottom(const CColorEdit& edit) {
    const int top = qRound(edit.document()->lastBlock().layout()->position().y());
    return top + edit.LinePitch() - edit.verticalScrollBar()->value();
}

TEST(ColorEdit, ScrollsByWholeLines) {
    // As the window's log: a line pitch, a small document margin, and the end kept in view.
    // The heights leave every remainder of the pitch below the lines.
    for (const int height : {100, 101, 107, 113, 118, 119}) {
        SCOPED_TRACE(height);
        CColorEdit edit;
        edit.m_fontTarget = &edit;
        edit.document()->setDocumentMargin(2);
        edit.SetEditFont(QStringLiteral("Courier New"), 20, 0);
        edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit.resize(300, height);
        edit.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
        QString text;
        for (int line = 1; line <= 30; ++line) {
            text += QStringLiteral("line %1\n").arg(line);
            edit.setPlainText(text);
            QTextCursor end = edit.textCursor();
            end.movePosition(QTextCursor::End);
            edit.setTextCursor(end);
            edit.ensureCursorVisible();
            if (edit.verticalScrollBar()->value() == 0) continue;
            ASSERT_EQ(TopLineOffset(edit), 0) << "line " << line;
            ASSERT_LE(LastLineBottom(edit), edit.viewport()->height()) << "line " << line;
        }
        // Scrolled back by hand, a pixel or a step at a time.
        for (const int back : {1, 7, 20, 33}) {
            edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum() - back);
            EXPECT_EQ(TopLineOffset(edit), 0) << "back " << back;
        }
    }
}

TEST(ColorEdit, NegativeHeightIsTheEmAndTheFontSpacesTheLines) {
    CColorEdit edit;
    edit.m_fontTarget = &edit;
    edit.SetEditFont(QStringLiteral("Courier New"), 18, 0x40);
    edit.SetEditFont(QStringLiteral("Courier New"), -16, 0x40);
    EXPECT_EQ(QFontInfo(edit.font()).pixelSize(), 16);
    EXPECT_EQ(edit.LinePitch(), 0);
    edit.resize(300, 200);
    edit.setPlainText(QStringLiteral("one\ntwo"));
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    const std::vector<int> tops = LineTops(edit);
    ASSERT_EQ(tops.size(), 2u);
    EXPECT_EQ(tops[1] - tops[0], qCeil(QFontMetricsF(edit.font()).height()));
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
