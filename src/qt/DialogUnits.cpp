#include "DialogUnits.h"

#include <QFontMetricsF>

#include "controls/DeviceUnits.h"

namespace tamblor {

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetricsF metrics(font);
    // Letters are measured one by one: a dialog's measurement knows no kerning.
    qreal sum = 0;
    for (char c = 'A'; c <= 'Z'; ++c) {
        sum += qRound(metrics.horizontalAdvance(QLatin1Char(c)));
        sum += qRound(metrics.horizontalAdvance(QLatin1Char(static_cast<char>(c - 'A' + 'a'))));
    }
    DialogBaseUnits base;
    base.width = (static_cast<int>(sum) / 26 + 1) / 2;
    base.height = qRound(metrics.ascent() + metrics.descent());
    return base;
}

QRect DialogToPixels(const QRect& du, DialogBaseUnits base) {
    return QRect(MulDiv(du.x(), base.width, 4), MulDiv(du.y(), base.height, 8),
                 MulDiv(du.width(), base.width, 4), MulDiv(du.height(), base.height, 8));
}

}  // namespace tamblor
