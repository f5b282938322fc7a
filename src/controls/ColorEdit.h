#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <cstdint>

namespace tamblor {

// An edit that writes its text in a font and colour of the owner's choosing and paints no
// background, so the text stands on whatever the parent painted behind it.
class CColorEdit : public QPlainTextEdit {
    Q_OBJECT

  public:
    static constexpr int kStyleBold = 0x01;
    static constexpr int kStyleItalic = 0x02;
    static constexpr int kStyleUnderline = 0x04;
    static constexpr int kStyleStrikeOut = 0x08;

    explicit CColorEdit(QWidget* parent = nullptr);

    // Positive heights are the character cell height in pixels, negative ones the em height;
    // style bits set attributes and never clear them. The font goes to m_fontTarget, which
    // must be set first.
    void SetEditFont(const QString& faceName, int height, int style);
    // COLORREF (0x00BBGGRR).
    void SetEditTextColor(std::uint32_t colorRef);

    std::uint32_t TextColor() const { return m_textColor; }

    QWidget* m_fontTarget = nullptr;

  signals:
    // The edit received the keyboard focus.
    void focusEntered();

  protected:
    void focusInEvent(QFocusEvent* event) override;

  private:
    void ApplyTextColor();

    QString m_faceName = QStringLiteral("Courier New");
    int m_fontHeight = 20;
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
    bool m_strikeOut = false;
    std::uint32_t m_textColor = 0x00FF00;
};

}  // namespace tamblor
