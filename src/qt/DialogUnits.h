#pragma once

#include <QFont>
#include <QRect>

namespace tamblor {

// Dialog base units of a font: the width is the rounded half of the average width of "A".."Z"
// and "a".."z" measured in pairs, the height the font's cell height.
struct DialogBaseUnits {
    int width = 0;
    int height = 0;
};

DialogBaseUnits BaseUnitsOf(const QFont& font);

// Position and size each converted on their own: x * width / 4, y * height / 8.
QRect DialogToPixels(const QRect& dialogUnits, DialogBaseUnits base);

}  // namespace tamblor
