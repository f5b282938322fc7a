#pragma once

#include <QImage>

namespace tamblor::art {

// The window's background: 500 x 288, opaque. Dark and quiet where the log, the bar and the
// version text sit, so white and orchid text stay legible on it.
QImage Background();

// Square icons of `size` pixels with alpha.
QImage AppIcon(int size);
QImage StartUpgradeIcon(int size, bool hot);
QImage ExitIcon(int size, bool hot);

}  // namespace tamblor::art
