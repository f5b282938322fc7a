// Resource and control IDs shared by the resource script and the code.
#pragma once

#define IDD_TAMBLOR_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BACKGROUND 134
#define IDI_EXIT 135
#define IDI_EXIT_HOT 136
#define IDI_START_UPGRADE 138
#define IDI_START_UPGRADE_HOT 139

#define IDC_SCAN 1000
#define IDC_LOG 1001
#define IDC_PROGRESS 1002
#define IDC_TEST 1003
