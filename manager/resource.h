// Resource ids of the manager, grouped by dialog; the numbers are fixed.
#pragma once

// Pictures
#define IDR_MAINFRAME                 128  // program icon, toolbar 132 uses its own id
#define IDB_TRAP_LIST_IMAGES          130
#define IDR_TOOLBAR                   132
#define IDB_TOOLBAR                   132
#define IDI_SHEET_SOUND               134
#define IDI_SHEET_MAIL                135
#define IDI_SHEET_STORAGE             136
#define IDI_SETTINGS                  137  // manager settings and the reception page
#define IDI_SOUND_TEST                139
#define IDI_ALERT_QUIET               141
#define IDI_ALERT_WARNING             142
#define IDI_SHEET_SNMPV3              143
#define IDI_SHEET_RULES               144

// Strings
#define IDS_SOCKETS_FAILED            103
#define IDS_SERVICE_SHEET_CAPTION     104

// Dialogs and menus
#define IDD_ABOUTBOX                  100
#define IDD_MAIN                      102
#define IDR_MAIN_MENU                 129
#define IDD_TRAP_DETAIL               131
#define IDD_TOOL_SETTINGS             148
#define IDD_PAGE_STORAGE              105
#define IDD_PAGE_RECEPTION            106
#define IDD_PAGE_MAIL                 107
#define IDD_PAGE_SOUND                132
#define IDD_PAGE_SNMPV3               150
#define IDD_USM_USER                  151
#define IDD_PAGE_FORWARD              152
#define IDD_PAGE_RULES                153
#define IDD_RULE                      154

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

// Storage page (105)
#define IDC_STORAGE_RECORD_BROWSE     1000
#define IDC_STORAGE_RECORD_PATH       1001
#define IDC_STORAGE_CSV_BROWSE        1002
#define IDC_STORAGE_CSV_PATH          1003
#define IDC_STORAGE_RECORD_ON         1004
#define IDC_STORAGE_CSV_ON            1005
#define IDC_STORAGE_LOG_ON            1007
#define IDC_STORAGE_LOG_PATH          1008
#define IDC_STORAGE_LOG_BROWSE        1009

// Reception page (106)
#define IDC_RECEPTION_PROGRAM_BROWSE  1000
#define IDC_RECEPTION_LEVEL           1001
#define IDC_RECEPTION_PROGRAM         1003
#define IDC_RECEPTION_POPUP_ON        1004
#define IDC_RECEPTION_PROGRAM_ON      1005
#define IDC_RECEPTION_OWN_HOST        1007
#define IDC_RECEPTION_HOSTS           1008
#define IDC_RECEPTION_LEVEL_SPIN      1009
#define IDC_RECEPTION_V2C             1010
#define IDC_RECEPTION_MIB_ON          1011
#define IDC_RECEPTION_MIB_DIRS        1012

// Mail page (107)
#define IDC_MAIL_PORT                 1001
#define IDC_MAIL_SERVER               1003
#define IDC_MAIL_ON                   1004
#define IDC_MAIL_POP3_ON              1005
#define IDC_MAIL_TO                   1006
#define IDC_MAIL_POP3_SERVER          1007
#define IDC_MAIL_FROM                 1008
#define IDC_MAIL_POP3_USER            1009
#define IDC_MAIL_POP3_PASSWORD        1010
#define IDC_MAIL_SECURITY_NONE        1011  // first of the three radio buttons of "smtp_security"
#define IDC_MAIL_SECURITY_STARTTLS    1012
#define IDC_MAIL_SECURITY_TLS         1013
#define IDC_MAIL_VERIFY               1014
#define IDC_MAIL_AUTH_ON              1015
#define IDC_MAIL_AUTH_USER            1016
#define IDC_MAIL_AUTH_PASSWORD        1017

// Sound page (132)
#define IDC_SOUND_BROWSE              1000
#define IDC_SOUND_WAVE_FILE           1001
#define IDC_SOUND_TEST                1002
#define IDC_SOUND_FREQUENCY           1003
#define IDC_SOUND_ON                  1004
#define IDC_SOUND_BEEP                1005
#define IDC_SOUND_WAVE                1006
#define IDC_SOUND_LOOP                1007
#define IDC_SOUND_DURATION            1008

// SNMPv3 page (150)
#define IDC_V3_USERS                  1001  // the list of users
#define IDC_V3_ADD                    1002
#define IDC_V3_EDIT                   1003
#define IDC_V3_DELETE                 1004
#define IDC_V3_ENGINE_ID              1005  // the receiver's own, read-only
#define IDC_V3_COMMUNITIES            1006
#define IDC_V3_ONLY                   1007

// Forwarding page (152): syslog, JSON lines file, further managers
#define IDC_FORWARD_SYSLOG_HOST       1001
#define IDC_FORWARD_SYSLOG_PORT       1002
#define IDC_FORWARD_SYSLOG_ON         1004
#define IDC_FORWARD_UDP               1005  // first of the three radio buttons of "syslog_transport"
#define IDC_FORWARD_TCP               1006
#define IDC_FORWARD_TLS               1007
#define IDC_FORWARD_VERIFY            1008
#define IDC_FORWARD_FACILITY          1009
#define IDC_FORWARD_JSON_ON           1010
#define IDC_FORWARD_JSON_PATH         1011
#define IDC_FORWARD_JSON_BROWSE       1012
#define IDC_FORWARD_HOSTS             1013

// Rules page (153)
#define IDC_RULES_LIST                1001  // the rules in order
#define IDC_RULES_ADD                 1002
#define IDC_RULES_EDIT                1003
#define IDC_RULES_DELETE              1004
#define IDC_RULES_UP                  1005
#define IDC_RULES_DOWN                1006
#define IDC_RULES_DUP_SECONDS         1007
#define IDC_RULES_MAIL_MAX            1008

// Rule (154)
#define IDC_RULE_OID                  1001
#define IDC_RULE_SUBTREE              1002
#define IDC_RULE_ADDRESS              1003
#define IDC_RULE_COMMUNITY            1004
#define IDC_RULE_VALUE_OID            1005
#define IDC_RULE_VALUE_TEXT           1006
#define IDC_RULE_NOTIFY               1007  // first of the two radio buttons: notify, drop
#define IDC_RULE_DROP                 1008
#define IDC_RULE_SOUND                1009
#define IDC_RULE_POPUP                1010
#define IDC_RULE_PROGRAM              1011
#define IDC_RULE_MAIL                 1012
#define IDC_RULE_SYSLOG               1013

// SNMPv3 user (151)
#define IDC_USER_NAME                 1001
#define IDC_USER_AUTH                 1002
#define IDC_USER_AUTH_PASSWORD        1003
#define IDC_USER_PRIV                 1004
#define IDC_USER_PRIV_PASSWORD        1005
#define IDC_USER_ENGINE_ID            1006

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
