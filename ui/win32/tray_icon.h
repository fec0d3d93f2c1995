// The main window's notification-area icon through Shell_NotifyIcon.
#pragma once

#include <windows.h>

#include "ui/main_window.h"

namespace ui::win32 {

// The tray icon's callback message: the application range base plus 100.
inline constexpr UINT kTrayCallback = WM_APP + 100;

class ShellTrayIcon : public TrayIcon {
 public:
  // `icon` stays the caller's.
  ShellTrayIcon(HWND window, HICON icon) : window_(window), icon_(icon) {}
  bool Add(const std::string& tip) override;
  bool Delete() override;

 private:
  HWND window_;
  HICON icon_;
};

}  // namespace ui::win32
