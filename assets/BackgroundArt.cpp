#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "Art.h"

namespace tamblor::art {

namespace {

constexpr int kWidth = 500;
constexpr int kHeight = 288;

// Where the window puts its controls on the picture, in pixels.
constexpr QRectF kLogPanel(12, 73, 476, 182);
constexpr qreal kHeaderBottom = 70;

void PaintBase(QPainter& p) {
    QLinearGradient base(0, 0, 0, kHeight);
    base.setColorAt(0.0, QColor(0x1d, 0x2c, 0x3e));
    base.setColorAt(0.26, QColor(0x13, 0x1e, 0x2c));
    base.setColorAt(1.0, QColor(0x08, 0x0d, 0x14));
    p.fillRect(QRectF(0, 0, kWidth, kHeight), base);

    // A cool light falling on the dock from the upper left.
    QRadialGradient light(QPointF(96, 30), 190);
    light.setColorAt(0.0, QColor(70, 150, 185, 70));
    light.setColorAt(1.0, QColor(70, 150, 185, 0));
    p.fillRect(QRectF(0, 0, kWidth, kHeight), light);
}

// Thin traces with pads, as on a circuit board, kept to the margins.
void PaintTraces(QPainter& p) {
    const QColor trace(90, 170, 200, 46);
    p.setPen(QPen(trace, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QList<QList<QPointF>> lines = {
        {{0, 9}, {150, 9}, {160, 4}, {500, 4}},
        {{344, 66}, {350, 60}, {350, 24}, {364, 14}, {372, 14}},
        {{0, 278}, {60, 278}, {68, 284}, {180, 284}},
        {{0, 266}, {40, 266}, {48, 274}, {120, 274}},
        {{492, 90}, {492, 200}, {500, 208}},
    };
    for (const auto& line : lines) p.drawPolyline(line.data(), static_cast<int>(line.size()));
    p.setBrush(QColor(90, 170, 200, 70));
    p.setPen(Qt::NoPen);
    for (const QPointF& pad : {QPointF(150, 9), QPointF(372, 14), QPointF(180, 284),
                               QPointF(120, 274), QPointF(492, 90)}) {
        p.drawEllipse(pad, 2.2, 2.2);
    }
}

void PaintHeaderRule(QPainter& p) {
    QLinearGradient rule(12, 0, 488, 0);
    rule.setColorAt(0.0, QColor(80, 200, 230, 0));
    rule.setColorAt(0.2, QColor(80, 200, 230, 120));
    rule.setColorAt(0.8, QColor(80, 200, 230, 120));
    rule.setColorAt(1.0, QColor(80, 200, 230, 0));
    p.fillRect(QRectF(12, kHeaderBottom, 476, 1), rule);
}

// The dock itself, seen from the front, in the free corner left of the buttons.
void PaintDock(QPainter& p) {
    const QRectF shadow(26, 56, 142, 8);
    QRadialGradient shade(shadow.center(), shadow.width() / 2);
    shade.setColorAt(0.0, QColor(0, 0, 0, 110));
    shade.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawEllipse(shadow);

    const QRectF body(24, 24, 146, 34);
    QLinearGradient metal(0, body.top(), 0, body.bottom());
    metal.setColorAt(0.0, QColor(0x4a, 0x5b, 0x6e));
    metal.setColorAt(0.5, QColor(0x2c, 0x37, 0x45));
    metal.setColorAt(1.0, QColor(0x1c, 0x24, 0x2e));
    p.setBrush(metal);
    p.setPen(QPen(QColor(120, 150, 175, 150), 1));
    p.drawRoundedRect(body, 8, 8);
    p.setPen(QPen(QColor(255, 255, 255, 50), 1));
    p.drawLine(QPointF(body.left() + 8, body.top() + 1.5),
               QPointF(body.right() - 8, body.top() + 1.5));

    // Two USB-C ports, a display port and a status light.
    p.setPen(QPen(QColor(140, 165, 185, 140), 0.8));
    p.setBrush(QColor(0x0a, 0x0e, 0x13));
    for (qreal x : {38.0, 62.0}) p.drawRoundedRect(QRectF(x, 38, 17, 6), 3, 3);
    QPainterPath display;
    display.moveTo(88, 37);
    display.lineTo(110, 37);
    display.lineTo(110, 42);
    display.lineTo(107, 45);
    display.lineTo(91, 45);
    display.lineTo(88, 42);
    display.closeSubpath();
    p.drawPath(display);

    QRadialGradient led(QPointF(152, 41), 7);
    led.setColorAt(0.0, QColor(120, 240, 255, 255));
    led.setColorAt(0.35, QColor(60, 200, 230, 200));
    led.setColorAt(1.0, QColor(60, 200, 230, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(led);
    p.drawEllipse(QPointF(152, 41), 7, 7);
}

void PaintLogPanel(QPainter& p) {
    p.setPen(QPen(QColor(90, 170, 200, 55), 1));
    p.setBrush(QColor(3, 7, 12, 150));
    p.drawRoundedRect(kLogPanel, 6, 6);
}

void PaintFooter(QPainter& p) {
    QLinearGradient footer(0, 262, 0, kHeight);
    footer.setColorAt(0.0, QColor(0, 0, 0, 0));
    footer.setColorAt(1.0, QColor(0, 0, 0, 110));
    p.fillRect(QRectF(0, 262, kWidth, kHeight - 262), footer);
}

}  // namespace

QImage Background() {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PaintBase(p);
    PaintTraces(p);
    PaintHeaderRule(p);
    PaintDock(p);
    PaintLogPanel(p);
    PaintFooter(p);
    return image;
}

}  // namespace tamblor::art
