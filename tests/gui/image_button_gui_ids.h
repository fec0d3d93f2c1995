// Resource identifiers of the image button's test program.
#pragma once

#define IDD_BUTTONS 100

#define IDI_PROGRAM 128
#define IDI_ADD_PORT 131
#define IDI_SETTINGS 133
#define IDI_OK 140
#define IDI_CANCEL 141
#define IDI_CHECK_PORT 142
#define IDI_LAUNCHER 150
#define IDI_REMOVER 151
#define IDI_START 152
#define IDI_EXIT 153
#define IDI_DELETE 154

#define IDC_EDIT 1001
#define IDC_SETTINGS 1002
#define IDC_ICON_ONLY 1003
#define IDC_DELETE 1004
#define IDC_ICON_STRIP 1005
