#pragma once

#include <QColor>
#include <QPixmap>

namespace tamblor {

// The disabled look of an icon: its solid, non-light pixels as a flat relief, in `highlight`
// one pixel down and to the right and in `shadow` on top. The result is one pixel wider and
// taller than the icon.
QPixmap EmbossedIcon(const QPixmap& icon, const QColor& highlight, const QColor& shadow);

}  // namespace tamblor
