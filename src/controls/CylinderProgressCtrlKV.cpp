#include "CylinderProgressCtrlKV.h"

#include <QFontInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdlib>

#include "ColorRef.h"
#include "DeviceUnits.h"
#include "SkinQt.h"
#include "skin/CylinderMath.h"

namespace tamblor {

namespace {

constexpr QRgb kGlossBottom = 0x64808080;  // alpha 100, mid grey
constexpr QRgb kGlossTop = 0x64FFFFFF;     // alpha 100, white
constexpr double kGlossFocus = 0.7;
constexpr double kGlossScale = 1.0;
constexpr int kGlossStops = 64;

QColor BlendArgb(QRgb from, QRgb to, double weight) {
    auto mix = [weight](int a, int b) { return static_cast<int>(a + (b - a) * weight + 0.5); };
    return QColor(mix(qRed(from), qRed(to)), mix(qGreen(from), qGreen(to)),
                  mix(qBlue(from), qBlue(to)), mix(qAlpha(from), qAlpha(to)));
}

}  // namespace

CCylinderProgressCtrlKV::CCylinderProgressCtrlKV(QWidget* parent)
    : QProgressBar(parent),
      m_textColor(ArgbFromColor(palette().color(QPalette::ButtonText)) | 0xFF000000u) {
    m_span = std::abs(m_upper - m_lower);
    if (m_span == 0) m_span = 1;
    setRange(m_lower, m_upper);
    setValue(m_lower);
    setAutoFillBackground(false);
}

void CCylinderProgressCtrlKV::SetPosition(int value) {
    m_position = std::clamp(value, m_lower, m_upper);
    setValue(m_position);
    update();
}

void CCylinderProgressCtrlKV::SetFillColor(std::uint32_t argb, bool repaint) {
    m_fillColor = argb;
    if (repaint) update();
}

QPen CCylinderProgressCtrlKV::OutlinePen() const {
    return QPen(ColorFromArgb(m_outlineColor), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

void CCylinderProgressCtrlKV::paintEvent(QPaintEvent*) {
    const QRect client = contentsRect();
    const int w = client.width();
    const int h = client.height();
    if (w <= 0 || h <= 0) return;

    // Composed off-screen and blended once, so the bar never shows a half-drawn state.
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDotsPerMeterX(DotsPerMeter(logicalDpiX()));
    image.setDotsPerMeterY(DotsPerMeter(logicalDpiY()));
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        // The geometry below puts pixel centres on integer coordinates.
        painter.translate(0.5, 0.5);

        const skin::CylinderLayout layout = skin::LayOutCylinder(w, h, m_position, m_span);
        PaintCylinder(painter, layout.empty, m_emptyColor);
        if (layout.filled.drawn) PaintCylinder(painter, layout.filled, m_fillColor);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(OutlinePen());
        painter.drawEllipse(QRectF(ToQRect(layout.closingFace)));

        painter.resetTransform();
        PaintPercentText(painter, layout.percent, ToQRect(layout.full));
    }
    QPainter target(this);
    target.drawImage(client.topLeft(), image);
}

void CCylinderProgressCtrlKV::PaintBackground(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, palette().color(QPalette::Button));
}

void CCylinderProgressCtrlKV::PaintCylinder(QPainter& painter, const skin::CylinderSection& section,
                                            std::uint32_t bodyColor) const {
    const QRect r = ToQRect(section.body);
    const QRectF endFace(ToQRect(section.endFace));
    const QRectF startFace(ToQRect(section.startFace));

    // Left halves of both end ellipses: convex on the left, hollowed where the end face sits.
    QPainterPath body;
    body.arcMoveTo(endFace, -90);
    body.arcTo(endFace, -90, -180);
    body.arcTo(startFace, 90, 180);
    body.closeSubpath();

    painter.fillPath(body, ColorFromArgb(bodyColor));
    PaintGloss(painter, r, body);
    if (section.outlineBody) painter.strokePath(body, OutlinePen());

    if (section.drawStartFace) {
        painter.setPen(section.outlineStartFace ? OutlinePen() : QPen(Qt::NoPen));
        painter.setBrush(ColorFromArgb(skin::ShadeColor(bodyColor, skin::kStartFaceShade)));
        painter.drawEllipse(startFace);
    }
    painter.setPen(section.outlineEndFace ? OutlinePen() : QPen(Qt::NoPen));
    painter.setBrush(ColorFromArgb(skin::ShadeColor(bodyColor, skin::kEndFaceShade)));
    painter.drawEllipse(endFace);
}

void CCylinderProgressCtrlKV::PaintGloss(QPainter& painter, const QRect& r,
                                         const QPainterPath& body) {
    if (r.width() <= 0 || r.height() <= 0) return;
    // A translucent light band: the bottom colour at both edges, white at its full weight
    // seven tenths of the way up.
    QLinearGradient gradient(QPointF(r.x(), r.y() + r.height()), QPointF(r.x(), r.y()));
    for (int i = 0; i <= kGlossStops; ++i) {
        const double t = static_cast<double>(i) / kGlossStops;
        gradient.setColorAt(
            t, BlendArgb(kGlossBottom, kGlossTop, skin::BellBlend(t, kGlossFocus, kGlossScale)));
    }
    gradient.setColorAt(kGlossFocus, BlendArgb(kGlossBottom, kGlossTop, kGlossScale));
    painter.fillPath(body, gradient);
}

void CCylinderProgressCtrlKV::PaintPercentText(QPainter& painter, int percent, const QRect& full) {
    const QWidget* owner = parentWidget();
    if (owner == nullptr) return;
    const QFont& dialogFont = owner->font();
    const int dpi = painter.device()->logicalDpiY();
    const float points = static_cast<float>(MulDiv(QFontInfo(dialogFont).pixelSize(), 72, dpi));

    QFont font(dialogFont.family());
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    painter.setFont(font);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(ColorFromArgb(m_textColor));
    painter.drawText(QRectF(full), Qt::AlignCenter, QString::number(percent) + QLatin1Char('%'));
}

}  // namespace tamblor
