#include "ColorEdit.h"

#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
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

CColorEdit::CColorEdit(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    // A log has nothing to undo, and the line spacing below must not pile up undo steps.
    document()->setUndoRedoEnabled(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::transparent);
    setPalette(colours);
    ApplyTextColor();
    // Text set or inserted later arrives in blocks of its own, which take the spacing too.
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { ApplyLinePitch(position, position + added); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CColorEdit::SnapScrollToLine);
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
    if (m_fontTarget == nullptr) return;
    m_fontTarget->setFont(font);
    // An edit puts its lines one cell apart. Qt would round the face's ascent and descent up
    // separately and space them a pixel further whenever the cell is not whole pixels.
    if (auto* edit = qobject_cast<CColorEdit*>(m_fontTarget)) {
        edit->SetLinePitch(m_fontHeight > 0 ? m_fontHeight : 0);
    }
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

void CColorEdit::SetLinePitch(int pixels) {
    m_linePitch = pixels;
    ApplyLinePitch(0, document()->characterCount());
    FitViewportToLines();
}

void CColorEdit::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    FitViewportToLines();
}

// Line k starts at margin + k * pitch in the document. A viewport of margin + whole lines puts
// the end of the scroll range, where the newest line shows, on such a start; the scroll value
// is then kept on them.
void CColorEdit::FitViewportToLines() {
    int spare = 0;
    if (m_linePitch > 0) {
        const int margin = qRound(document()->documentMargin());
        const int available = viewport()->height() + m_viewportSpare;
        spare = ((available - margin) % m_linePitch + m_linePitch) % m_linePitch;
        if (available - spare <= margin) spare = 0;  // not even one line: show what fits
    }
    if (spare == m_viewportSpare) return;
    m_viewportSpare = spare;
    setViewportMargins(0, 0, 0, spare);
}

void CColorEdit::SnapScrollToLine(int value) {
    if (m_linePitch <= 0 || value <= 0) return;
    const int margin = qRound(document()->documentMargin());
    // Onward to the next line start, so the line the caret was brought to stays in view.
    const int lines = value <= margin ? 0 : (value - margin + m_linePitch - 1) / m_linePitch;
    const int snapped = std::min(margin + lines * m_linePitch, verticalScrollBar()->maximum());
    if (snapped != value) verticalScrollBar()->setValue(snapped);
}

void CColorEdit::ApplyLinePitch(int from, int to) {
    if (m_applyingPitch) return;  // the change below is itself a change of the contents
    m_applyingPitch = true;
    QTextBlockFormat spacing;
    if (m_linePitch > 0) {
        spacing.setLineHeight(m_linePitch, QTextBlockFormat::FixedHeight);
    } else {
        spacing.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
    }
    const int last = std::max(0, document()->characterCount() - 1);
    QTextCursor blocks(document());
    blocks.setPosition(std::clamp(from, 0, last));
    blocks.setPosition(std::clamp(to, 0, last), QTextCursor::KeepAnchor);
    blocks.mergeBlockFormat(spacing);
    m_applyingPitch = false;
}

void CColorEdit::focusInEvent(QFocusEvent* event) {
    QTextEdit::focusInEvent(event);
    emit focusEntered();
}

}  // namespace tamblor
