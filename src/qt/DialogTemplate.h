#pragma once

#include <QRect>

#include "skin/DialogLayout.h"

namespace tamblor {

// Dialog template 102 (skin/DialogLayout.h) as the Qt window reads it, in dialog units.
namespace dlg102 {

inline constexpr int kWidth = TAMBLOR_DLG_WIDTH;
inline constexpr int kHeight = TAMBLOR_DLG_HEIGHT;
inline constexpr const char* kCaption = TAMBLOR_DLG_CAPTION;
inline constexpr const char* kFontFace = TAMBLOR_DLG_FONT_FACE;
inline constexpr int kFontPoints = TAMBLOR_DLG_FONT_POINTS;

// Controls in template order, which is also the tab order.
inline constexpr QRect kScan(TAMBLOR_DLG_SCAN);
inline constexpr QRect kExit(TAMBLOR_DLG_EXIT);
inline constexpr QRect kVersion(TAMBLOR_DLG_VERSION);
inline constexpr QRect kStartUpgrade(TAMBLOR_DLG_START_UPGRADE);
inline constexpr QRect kLog(TAMBLOR_DLG_LOG);
inline constexpr QRect kProgress(TAMBLOR_DLG_PROGRESS);
inline constexpr QRect kTest(TAMBLOR_DLG_TEST);
inline constexpr QRect kExitLabel(TAMBLOR_DLG_EXIT_LABEL);

}  // namespace dlg102

}  // namespace tamblor
