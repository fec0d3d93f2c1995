// Closes portrelay's main window the way the tray's exit command does (tests
// only): finds the window through the instance cell the running portrelay
// publishes, posts WM_CLOSE, and waits for that process to end.
//   window_closer.exe
// Prints "closed after N ms" (from the post to the end of the process), or
// "no window" / "still running" with exit status 1.
#include <windows.h>

#include <cstdint>
#include <cstdio>

int main() {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "KelvoSvr_InstanceCell");
  if (!mapping) {
    std::printf("no window\n");
    return 1;
  }
  const auto* cell = static_cast<const std::intptr_t*>(
      MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(std::intptr_t)));
  HWND window = cell ? reinterpret_cast<HWND>(*cell) : nullptr;
  DWORD pid = 0;
  if (!window || !GetWindowThreadProcessId(window, &pid) || pid == 0) {
    std::printf("no window\n");
    return 1;
  }
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  const DWORD start = GetTickCount();
  PostMessageA(window, WM_CLOSE, 0, 0);
  if (!process || WaitForSingleObject(process, 15000) != WAIT_OBJECT_0) {
    std::printf("still running\n");
    return 1;
  }
  std::printf("closed after %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
  return 0;
}
