#include "IconEmboss.h"

#include <QImage>
#include <QPainter>

namespace tamblor {

namespace {

// Light pixels drop out of the relief, as they would when the icon is reduced to one bit
// against a white background.
constexpr int kLightGrey = 192;
constexpr int kSolidAlpha = 128;

QImage Tinted(const QImage& mask, const QColor& color) {
    QImage tinted = mask;
    QPainter painter(&tinted);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(tinted.rect(), color);
    return tinted;
}

}  // namespace

QPixmap EmbossedIcon(const QPixmap& icon, const QColor& highlight, const QColor& shadow) {
    if (icon.isNull()) return {};
    const QImage source = icon.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage mask(source.size(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    for (int y = 0; y < source.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            if (qAlpha(line[x]) >= kSolidAlpha && qGray(line[x]) < kLightGrey) out[x] = 0xFF000000;
        }
    }
    QImage relief(source.width() + 1, source.height() + 1, QImage::Format_ARGB32_Premultiplied);
    relief.fill(Qt::transparent);
    {
        QPainter painter(&relief);
        painter.drawImage(1, 1, Tinted(mask, highlight));
        painter.drawImage(0, 0, Tinted(mask, shadow));
    }
    return QPixmap::fromImage(relief);
}

}  // namespace tamblor
