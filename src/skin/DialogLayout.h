// Dialog template 102, the operator window, in dialog units; and the resource IDs it uses. The
// one source for the resource script, the Qt window and the tests of both: plain #defines,
// because the resource compiler reads nothing else from a header.
#pragma once

#define IDD_TAMBLOR_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BACKGROUND 134
#define IDI_EXIT 135
#define IDI_EXIT_HOT 136
#define IDI_START_UPGRADE 138
#define IDI_START_UPGRADE_HOT 139

#define IDC_START_UPGRADE 3
#define IDC_SCAN 1000
#define IDC_LOG 1001
#define IDC_PROGRESS 1002
#define IDC_TEST 1003

#define TAMBLOR_DLG_WIDTH 222
#define TAMBLOR_DLG_HEIGHT 128
#define TAMBLOR_DLG_CAPTION "Varnex USB-C Device FW Upgrade Tool"
#define TAMBLOR_DLG_FONT_FACE "Arial"
#define TAMBLOR_DLG_FONT_POINTS 12

// Controls in template order, which is also the tab order: x, y, width, height, and a text.
#define TAMBLOR_DLG_SCAN 6, 6, 66, 24
#define TAMBLOR_DLG_SCAN_TEXT "Scan Devices"
#define TAMBLOR_DLG_EXIT 167, 6, 48, 24
#define TAMBLOR_DLG_VERSION 90, 121, 132, 8
#define TAMBLOR_DLG_VERSION_TEXT "Version and date"
#define TAMBLOR_DLG_START_UPGRADE 84, 6, 66, 24
#define TAMBLOR_DLG_LOG 7, 34, 208, 77
#define TAMBLOR_DLG_PROGRESS 7, 113, 208, 8
#define TAMBLOR_DLG_TEST 61, 7, 24, 14
#define TAMBLOR_DLG_TEST_TEXT "T"
#define TAMBLOR_DLG_EXIT_LABEL 184, 21, 19, 12
#define TAMBLOR_DLG_EXIT_LABEL_TEXT "exit"
