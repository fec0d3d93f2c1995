// Resource identifiers of relayremove.exe (dialog templates, icons, strings).
// The control ids are the presenter's (uninstaller/uninstaller_dialog.h).
#pragma once

#define IDD_UNINSTALL_INFO 100
#define IDS_ABOUTBOX 101
#define IDD_UNINSTALL 102
#define IDI_PROGRAM 128
#define IDI_DELETE 129
#define IDI_EXIT 130

#define IDC_DELETE 1000
#define IDC_SERVICE_BOX 1001
#define IDC_DRIVER_BOX 1002
#define IDC_NOTICE 1003

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
