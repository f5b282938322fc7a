#pragma once

#include <QPixmap>
#include <QSize>

namespace tamblor {

// Pictures of the application's resources, by numeric ID, from ":/tamblor". Loading the same
// ID at the same size again returns the same pixmap (equal cacheKey), so controls can tell that
// nothing changed. A missing resource gives a null pixmap.

// "bitmap<id>.png", scaled to `size`.
QPixmap LoadBitmapResource(int id, QSize size);

// "icon<id>-<n>.png" for each square size n the icon carries; the image of the requested size,
// or else the next larger one (else the largest) scaled to it.
QPixmap LoadIconResource(int id, QSize size);

}  // namespace tamblor
