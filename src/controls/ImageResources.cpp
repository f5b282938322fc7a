#include "ImageResources.h"

#include <QDir>
#include <QImage>
#include <QPixmapCache>
#include <QRegularExpression>
#include <algorithm>

namespace tamblor {

namespace {

const QString kResourceDir = QStringLiteral(":/tamblor");

QString CacheKey(const char* kind, int id, QSize size) {
    return QStringLiteral("tamblor/%1%2@%3x%4")
        .arg(QLatin1String(kind))
        .arg(id)
        .arg(size.width())
        .arg(size.height());
}

QPixmap Scaled(const QImage& image, QSize size) {
    if (image.isNull()) return {};
    if (image.size() == size) return QPixmap::fromImage(image);
    return QPixmap::fromImage(image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

// The image of the icon that best serves `size`: exact, else the smallest larger one, else the
// largest.
QImage BestIconImage(int id, QSize size) {
    const QRegularExpression name(QStringLiteral("^icon%1-(\\d+)\\.png$").arg(id));
    int best = 0;
    const int wanted = std::max(size.width(), size.height());
    for (const QString& entry : QDir(kResourceDir).entryList(QDir::Files)) {
        const auto match = name.match(entry);
        if (!match.hasMatch()) continue;
        const int n = match.captured(1).toInt();
        const bool better = best < wanted ? (n >= wanted || n > best) : (n >= wanted && n < best);
        if (better) best = n;
    }
    if (best == 0) return {};
    return QImage(QStringLiteral("%1/icon%2-%3.png").arg(kResourceDir).arg(id).arg(best));
}

}  // namespace

QPixmap LoadBitmapResource(int id, QSize size) {
    const QString key = CacheKey("bitmap", id, size);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    pixmap = Scaled(QImage(QStringLiteral("%1/bitmap%2.png").arg(kResourceDir).arg(id)), size);
    if (!pixmap.isNull()) QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QPixmap LoadIconResource(int id, QSize size) {
    const QString key = CacheKey("icon", id, size);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    pixmap = Scaled(BestIconImage(id, size), size);
    if (!pixmap.isNull()) QPixmapCache::insert(key, pixmap);
    return pixmap;
}

}  // namespace tamblor
