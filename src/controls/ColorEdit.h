#pragma once

#include <QString>
#include <QTextEdit>
#include <cstdint>

namespace tamblor {

// An edit that writes its text in a font and colour of the owner's choosing and paints no
// background, so the text stands on whatever the parent painted behind it.
class CColorEdit : public QTextEdit {
    Q_OBJECT

  public:
    static constexpr int kStyleBold = 0x01;
    static constexpr int kStyleItalic = 0x02;
    static constexpr int kStyleUnderline = 0x04;
    static constexpr int kStyleStrikeOut = 0x08;

    explicit CColorEdit(QWidget* parent = nullptr);

    // Positive heights are the character cell height in pixels, negative ones the em height;
    // style bits set attributes and never clear them. The font goes to m_fontTarget, which
    // must be set first. A target that is a colour edit also spaces its lines one cell apart.
    void SetEditFont(const QString& faceName, int height, int style);
    // COLORREF (0x00BBGGRR).
    void SetEditTextColor(std::uint32_t colorRef);

    std::uint32_t TextColor() const { return m_textColor; }
    // Distance between the tops of two lines in pixels; 0 while the font decides.
    int LinePitch() const { return m_linePitch; }

    QWidget* m_fontTarget = nullptr;

  signals:
    // The edit received the keyboard focus.
    void focusEntered();

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ApplyTextColor();
    void SetLinePitch(int pixels);
    void ApplyLinePitch(int from, int to);
    // An edit control scrolls by whole lines: the first line in view always shows whole.
    void FitViewportToLines();
    void SnapScrollToLine(int value);

    QString m_faceName = QStringLiteral("Courier New");
    int m_fontHeight = 20;
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
    bool m_strikeOut = false;
    std::uint32_t m_textColor = 0x00FF00;
    int m_linePitch = 0;
    bool m_applyingPitch = false;
    int m_viewportSpare = 0;  // pixels below the viewport that hold no whole line
};

}  // namespace tamblor
