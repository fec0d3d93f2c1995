// Resource identifiers of relaytray.exe (dialog templates, icons, strings).
// The control ids are the presenter's (launcher/launcher_dialog.h).
#pragma once

#define IDD_LAUNCHER_INFO 100
#define IDS_ABOUTBOX 101
#define IDD_LAUNCHER 102
#define IDI_PROGRAM 128
#define IDD_LAUNCHER_STATUS 130
#define IDI_OK 131
#define IDI_EXIT 132
#define IDI_START 133

#define IDC_START 1000
#define IDC_STATUS_TEXT 1001
#define IDC_INFO_TEXT 1002

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
