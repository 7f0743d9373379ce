// Resource ids of the manager, grouped by dialog; the numbers are fixed.
#pragma once

// Pictures
#define IDR_MAINFRAME                 128  // program icon, toolbar 132 uses its own id
#define IDB_TRAP_LIST_IMAGES          130
#define IDR_TOOLBAR                   132
#define IDB_TOOLBAR                   132
#define IDI_SHEET_STORAGE             134
#define IDI_SHEET_RECEPTION           135
#define IDI_SHEET_MAIL                136
#define IDI_TOOL_SETTINGS             137
#define IDI_SHEET_SOUND               139
#define IDI_ALERT_QUIET               141
#define IDI_ALERT_WARNING             142

// Strings
#define IDS_SOCKETS_FAILED            103

// Dialogs and menus
#define IDD_ABOUTBOX                  100
#define IDD_MAIN                      102
#define IDR_MAIN_MENU                 129
#define IDD_TRAP_DETAIL               131
#define IDD_TOOL_SETTINGS             148

// Main window (102)
#define IDC_MAIN_SERVICE_TOGGLE       1000
#define IDC_MAIN_SERVICE_STATUS       1001
#define IDC_MAIN_TRAP_LIST            1002
#define IDC_MAIN_ALERT_TEXT           1003
#define IDC_MAIN_ALERT_ICON           1007
#define IDC_MAIN_ALERT_CLEAR          1009
#define IDC_MAIN_STATUS_BAR           32770

// Trap detail (131)
#define IDC_DETAIL_REPORT             1001

// Manager settings (148)
#define IDC_TOOL_READ_RECORD_FILE     1004
#define IDC_TOOL_BRING_TO_FRONT       1005

// Commands (menu 129 and toolbar 132)
#define ID_APP_EXIT                   32771
#define ID_TOOL_SERVICE_SETTINGS      32772
#define ID_TOOL_MANAGER_SETTINGS      32773
#define ID_APP_ABOUT                  32774
#define ID_FILE_OPEN_RECORD           32775
#define ID_VIEW_CLEAR_LIST            32779
#define ID_HELP_CONTENTS              32786
#define ID_HELP_FINDER                32789

// Timer
#define IDT_MONITOR                   100
