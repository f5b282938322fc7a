#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "Art.h"

namespace tamblor::art {

namespace {

// Icons are drawn on a 48-unit grid and scaled to the requested size.
constexpr qreal kGrid = 48;

QImage Canvas(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void Begin(QPainter& p, int size) {
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kGrid, size / kGrid);
}

void PaintSoftShadow(QPainter& p, const QPointF& centre, qreal radius) {
    QRadialGradient shade(centre, radius);
    shade.setColorAt(0.7, QColor(0, 0, 0, 90));
    shade.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawEllipse(centre, radius, radius);
}

// A round glassy badge in `light` to `dark`, with a thin rim and a gloss on its upper half.
void PaintBadge(QPainter& p, const QColor& light, const QColor& dark, const QColor& rim) {
    const QPointF centre(24, 23);
    const qreal radius = 19;
    PaintSoftShadow(p, QPointF(24, 26), 22);

    QRadialGradient fill(QPointF(18, 15), 30, QPointF(17, 13));
    fill.setColorAt(0.0, light);
    fill.setColorAt(1.0, dark);
    p.setBrush(fill);
    p.setPen(QPen(rim, 1.4));
    p.drawEllipse(centre, radius, radius);

    QLinearGradient gloss(0, 5, 0, 24);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(10, 5.5, 28, 18));
}

}  // namespace

QImage StartUpgradeIcon(int size, bool hot) {
    QPainter p;
    QImage image = Canvas(size);
    p.begin(&image);
    Begin(p, size);
    if (hot) {
        PaintBadge(p, QColor(0x8a, 0xe4, 0xff), QColor(0x15, 0x78, 0xb0), QColor(0xdd, 0xf7, 0xff));
    } else {
        PaintBadge(p, QColor(0x5a, 0xaa, 0xc8), QColor(0x16, 0x4f, 0x6e), QColor(0x92, 0xc8, 0xdc));
    }
    // An arrow rising onto a bar: new firmware going up into the dock.
    const QColor ink = hot ? QColor(255, 255, 255) : QColor(0xee, 0xf7, 0xfb);
    QPainterPath arrow;
    arrow.moveTo(24, 10.5);
    arrow.lineTo(35, 22);
    arrow.lineTo(28.2, 22);
    arrow.lineTo(28.2, 30);
    arrow.lineTo(19.8, 30);
    arrow.lineTo(19.8, 22);
    arrow.lineTo(13, 22);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0, 40, 60, 90), 0.8));
    p.setBrush(ink);
    p.drawPath(arrow);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(15, 32.5, 18, 3.6), 1.8, 1.8);
    p.end();
    return image;
}

QImage ExitIcon(int size, bool hot) {
    QPainter p;
    QImage image = Canvas(size);
    p.begin(&image);
    Begin(p, size);
    if (hot) {
        PaintBadge(p, QColor(0xff, 0x7a, 0x84), QColor(0xa8, 0x1c, 0x2a), QColor(0xff, 0xd6, 0xda));
    } else {
        PaintBadge(p, QColor(0xc4, 0x5a, 0x66), QColor(0x6a, 0x1c, 0x27), QColor(0xd8, 0x98, 0xa0));
    }
    // The power sign.
    const QColor ink = hot ? QColor(255, 255, 255) : QColor(0xf7, 0xee, 0xef);
    p.setPen(QPen(ink, 3.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(14, 14, 20, 20), 58 * 16, -296 * 16);
    p.drawLine(QPointF(24, 10.5), QPointF(24, 22.5));
    p.end();
    return image;
}

QImage AppIcon(int size) {
    QPainter p;
    QImage image = Canvas(size);
    p.begin(&image);
    Begin(p, size);
    const QRectF tile(3, 3, 42, 42);
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0.0, QColor(0x33, 0xb4, 0xd8));
    fill.setColorAt(1.0, QColor(0x12, 0x3a, 0x58));
    p.setPen(QPen(QColor(0x0b, 0x25, 0x38), 1.2));
    p.setBrush(fill);
    p.drawRoundedRect(tile, 10, 10);

    // A USB-C plug face with an arrow rising out of it.
    p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(12, 30, 24, 9), 4.5, 4.5);
    QPainterPath arrow;
    arrow.moveTo(24, 25);
    arrow.lineTo(24, 10);
    arrow.moveTo(17.5, 16.5);
    arrow.lineTo(24, 10);
    arrow.lineTo(30.5, 16.5);
    p.drawPath(arrow);
    p.end();
    return image;
}

}  // namespace tamblor::art
