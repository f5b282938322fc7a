#pragma once

#include <QPoint>
#include <QRect>

#include "skin/SkinRect.h"

namespace tamblor {

// The skin's rectangles are origin and size, as QRect's constructor takes them (its right()
// is the last column, which the skin never uses).
inline QRect ToQRect(const skin::SkinRect& r) { return QRect(r.x, r.y, r.width, r.height); }

inline skin::SkinRect ToSkinRect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

inline QPoint ToQPoint(skin::SkinOffset offset) { return QPoint(offset.dx, offset.dy); }

}  // namespace tamblor
