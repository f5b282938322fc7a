#include "ColorEdit.h"

#include <QFontMetricsF>
#include <algorithm>

#include "ColorRef.h"

namespace tamblor {

namespace {

// The em size at which the face's ascent plus descent fills `cellHeight` pixels, rounded to
// whole pixels as font mappers do.
int EmForCellHeight(const QFont& face, int cellHeight) {
    constexpr int kReference = 1000;
    QFont probe(face);
    probe.setPixelSize(kReference);
    const QFontMetricsF metrics(probe);
    const qreal cell = metrics.ascent() + metrics.descent();
    if (cell <= 0) return cellHeight;
    return std::max(1, qRound(cellHeight * kReference / cell));
}

}  // namespace

CColorEdit::CColorEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setBackgroundVisible(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::transparent);
    setPalette(colours);
    ApplyTextColor();
}

void CColorEdit::SetEditFont(const QString& faceName, int height, int style) {
    m_faceName = faceName;
    m_fontHeight = height;
    if (style & kStyleBold) m_bold = true;
    if (style & kStyleItalic) m_italic = true;
    if (style & kStyleUnderline) m_underline = true;
    if (style & kStyleStrikeOut) m_strikeOut = true;

    QFont font(m_faceName);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setWeight(m_bold ? QFont::Black : QFont::Normal);
    font.setItalic(m_italic);
    font.setUnderline(m_underline);
    font.setStrikeOut(m_strikeOut);
    if (m_fontHeight > 0) {
        font.setPixelSize(EmForCellHeight(font, m_fontHeight));
    } else if (m_fontHeight < 0) {
        font.setPixelSize(-m_fontHeight);
    }
    if (m_fontTarget != nullptr) m_fontTarget->setFont(font);
}

void CColorEdit::SetEditTextColor(std::uint32_t colorRef) {
    m_textColor = colorRef;
    ApplyTextColor();
}

void CColorEdit::ApplyTextColor() {
    QPalette colours = palette();
    colours.setColor(QPalette::Text, ColorFromColorRef(m_textColor));
    setPalette(colours);
}

void CColorEdit::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    emit focusEntered();
}

}  // namespace tamblor
