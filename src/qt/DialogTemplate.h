#pragma once

#include <QRect>

namespace tamblor {

// Dialog template 102, in dialog units, and the resource IDs the window uses.
namespace dlg102 {

inline constexpr int kWidth = 222;
inline constexpr int kHeight = 128;
inline constexpr const char* kCaption = "Varnex USB-C Device FW Upgrade Tool";
inline constexpr const char* kFontFace = "Arial";
inline constexpr int kFontPoints = 12;

inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_START_UPGRADE = 3;
inline constexpr int IDC_SCAN = 1000;
inline constexpr int IDC_LOG = 1001;
inline constexpr int IDC_PROGRESS = 1002;
inline constexpr int IDC_TEST = 1003;

// Controls in template order, which is also the tab order.
inline constexpr QRect kScan(6, 6, 66, 24);
inline constexpr QRect kExit(167, 6, 48, 24);
inline constexpr QRect kVersion(90, 121, 132, 8);
inline constexpr QRect kStartUpgrade(84, 6, 66, 24);
inline constexpr QRect kLog(7, 34, 208, 77);
inline constexpr QRect kProgress(7, 113, 208, 8);
inline constexpr QRect kTest(61, 7, 24, 14);
inline constexpr QRect kExitLabel(184, 21, 19, 12);

}  // namespace dlg102

namespace res {

inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDB_BACKGROUND = 134;
inline constexpr int IDI_EXIT = 135;
inline constexpr int IDI_EXIT_HOT = 136;
inline constexpr int IDI_START = 138;
inline constexpr int IDI_START_HOT = 139;

}  // namespace res

}  // namespace tamblor
