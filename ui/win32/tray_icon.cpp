// The tray icon record: owner the main window, identifier 0, callback,
// the program icon and the caption as the tip.
#include "ui/win32/tray_icon.h"

#include <shellapi.h>

namespace ui::win32 {

// The record without the later versions' fields: 488 bytes in the 32-bit
// program, which every shell since Windows 2000 reads.
bool ShellTrayIcon::Add(const std::string& tip) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = NOTIFYICONDATAA_V2_SIZE;
  nid.hWnd = window_;
  nid.uID = 0;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = kTrayCallback;
  nid.hIcon = icon_;
  lstrcpynA(nid.szTip, tip.c_str(), sizeof nid.szTip);
  return Shell_NotifyIconA(NIM_ADD, &nid) != FALSE;
}

bool ShellTrayIcon::Delete() {
  NOTIFYICONDATAA nid{};
  nid.cbSize = NOTIFYICONDATAA_V2_SIZE;
  nid.hWnd = window_;
  nid.uID = 0;
  return Shell_NotifyIconA(NIM_DELETE, &nid) != FALSE;
}

}  // namespace ui::win32
