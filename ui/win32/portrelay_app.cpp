// portrelay.exe: the application object. One instance per desktop: a second
// start brings the first one's window forward and ends without showing anything.
#include <windows.h>

#include <commctrl.h>

#include "platform/platform.h"
#include "ui/win32/service_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  platform::SingleInstance& single = platform::NativeInstance();
  if (!single.Acquire("KelvoSvr")) {
    HWND first = reinterpret_cast<HWND>(single.PublishedWindow());
    if (first) {
      SetForegroundWindow(first);
      if (IsIconic(first)) ShowWindow(first, SW_SHOWDEFAULT);
    }
    return 0;
  }
  ui::win32::RunServiceWindow(instance, platform::Native(), single);
  return 0;
}
