#include "BkDialogKV.h"

#include <QPainter>
#include <QResizeEvent>

#include "ImageResources.h"

namespace tamblor {

CBkDialogKV::CBkDialogKV(QWidget* parent) : QDialog(parent) {}

int CBkDialogKV::SetBackgroundBitmap(int resourceId, int width, int height) {
    return SetBackgroundPixmap(LoadBitmapResource(resourceId, QSize(width, height)));
}

int CBkDialogKV::SetBackgroundPixmap(const QPixmap& picture) {
    const bool changed = picture.cacheKey() != m_background.cacheKey();
    m_background = picture;
    m_bitmapWidth = picture.isNull() ? 0 : picture.width();
    m_bitmapHeight = picture.isNull() ? 0 : picture.height();
    // During a paint the whole background is drawn anyway; asking for another paint there would
    // only make the window paint itself forever.
    if (changed || !m_painting) update();
    return 0;
}

void CBkDialogKV::paintEvent(QPaintEvent*) {
    m_painting = true;
    OnPaint();
    QPainter painter(this);
    EraseBackground(painter);
    m_painting = false;
}

void CBkDialogKV::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (HasBackground()) update();
}

void CBkDialogKV::EraseBackground(QPainter& painter) {
    if (m_background.isNull()) return;
    const int w = width();
    const int h = height();
    QPixmap canvas(w, h);
    canvas.fill(palette().color(backgroundRole()));
    {
        QPainter composer(&canvas);
        for (int y = 0; y < h; y += m_bitmapHeight) {
            for (int x = 0; x < w; x += m_bitmapWidth) composer.drawPixmap(x, y, m_background);
        }
    }
    painter.drawPixmap(0, 0, canvas);
}

}  // namespace tamblor
