// Resource identifiers of portrelay.exe (dialog templates, icons, strings).
// Control identifiers of the main window are the ones in core/controls.h.
#pragma once

#define IDD_INFO_DIALOG 100
#define IDS_ABOUTBOX 101
#define IDD_SERVICE_DIALOG 102
#define IDI_PROGRAM 128
#define IDI_ADD_PORT 131
#define IDI_SETTINGS 133
#define IDD_STATUS_DIALOG 136
#define IDD_EXIT_DIALOG 138
#define IDI_OK 140
#define IDI_CANCEL 141
#define IDI_CHECK_PORT 142

#define IDC_ADD_PORT 1000
#define IDC_CHECK_PORT 1001
#define IDC_RELAY_PORT_LIST 1002
#define IDC_ALL_COM_LIST 1003
#define IDC_APP_PORT_LIST 1004
#define IDC_ALL_VIRTUAL_LIST 1005
#define IDC_SETTINGS 1006
#define IDC_INSTALL_PAIR 1007
#define IDC_STATUS_TEXT 1010
#define IDC_PAIR_GROUP 1016
#define IDC_PRINTER_PORT 1019
#define IDC_SETUPC_TEST 1020
#define IDC_PROGRESS 1021
#define IDC_APP_PRINT_TEST 1022
#define IDC_PORT_COUNT 1023
#define IDC_CONNECTED_PORT_LABEL 1024
#define IDC_APP_PORT_LABEL 1025

// The main window's system menu item, tray menus and their commands, and the
// controls of its information and exit dialogs.
#define IDM_ABOUTBOX 0x0010
#define IDR_TRAY_MENU_KOREAN 143
#define IDR_TRAY_MENU_ENGLISH 144
#define ID_OPEN_SERVICE 32771
#define ID_EXIT_SERVICE 32773
#define ID_PRINTER_SETTING 32774
#define ID_RECENT_RECEIPTS 32775
#define IDC_INFO_DESCRIPTION 1036
#define IDC_EXIT_TEXT 1037

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The settings dialog (template 134); its control numbers are the ones in
// ui/settings_dialog.h.
#define IDD_SETTINGS_DIALOG 134
#define IDC_SET_PORT 1008
#define IDC_SET_TIMEOUT 1009
#define IDC_SET_BAUDRATE 1010
#define IDC_SET_REALTIME 1011
#define IDC_SET_POPUP 1012
#define IDC_SET_LOGFILE 1013
#define IDC_SET_METHOD 1014
#define IDC_SET_IP 1015
#define IDC_SET_RESULT_TIMEOUT 1016
#define IDC_SET_REPRINT 1017
#define IDC_SET_METHOD_LABEL 1027
#define IDC_SET_PORT_LABEL 1028
#define IDC_SET_REALTIME_LABEL 1029
#define IDC_SET_POPUP_LABEL 1030
#define IDC_SET_LOGFILE_LABEL 1031
#define IDC_SET_TIMEOUT_LABEL 1032
#define IDC_SET_REPRINT_LABEL 1033
#define IDC_SET_RESULT_LABEL 1034
#define IDC_SET_INTERFACE_GROUP 1038
#define IDC_SET_IP_LABEL 1039

// The recent receipts window; its control numbers are the ones in
// ui/recent_receipts_dialog.h.
#define IDD_RECENT_RECEIPTS_DIALOG 146
#define IDC_RECENT_LIST_LABEL 1040
#define IDC_RECENT_LIST 1041
#define IDC_RECENT_PROBLEM 1042
#define IDC_RECENT_PREVIEW_LABEL 1043
#define IDC_RECENT_PREVIEW 1044
#define IDC_RECENT_STATUS 1045
#define IDC_RECENT_PRINT_AGAIN 1046
