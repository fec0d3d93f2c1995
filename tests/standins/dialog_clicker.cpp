// Answers portrelay's status pop-ups in the Wine tests (tests only): nobody
// sits at the virtual display, so this program finds every status dialog
// ("Kelvo printer status ..."), appends its text to a file and presses OK.
//   dialog_clicker.exe SECONDS FILE
// It runs for the given time (bounded: at most 600 s), or until FILE.stop
// exists (a signal from Linux does not always reach a Wine program).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

constexpr int kStatusText = 1010;  // the status dialog's text control

struct Clicker {
  std::FILE* out = nullptr;
  std::set<HWND> answered;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
  auto* clicker = reinterpret_cast<Clicker*>(context);
  char caption[128] = {};
  char cls[32] = {};
  GetWindowTextA(window, caption, sizeof caption);
  GetClassNameA(window, cls, sizeof cls);
  if (std::strcmp(cls, "#32770") != 0 || std::strncmp(caption, "Kelvo ", 6) != 0) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  if (clicker->answered.insert(window).second) {
    char text[1024] = {};
    GetDlgItemTextA(window, kStatusText, text, sizeof text);
    std::fprintf(clicker->out, "%s | %s\n", caption, text);
    std::fflush(clicker->out);
  }
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dialog_clicker SECONDS FILE\n");
    return 2;
  }
  long seconds = std::strtol(argv[1], nullptr, 10);
  if (seconds <= 0 || seconds > 600) seconds = 600;
  Clicker clicker;
  clicker.out = std::fopen(argv[2], "a");
  if (!clicker.out) return 1;
  const std::string stop = std::string(argv[2]) + ".stop";
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < static_cast<DWORD>(seconds) * 1000u &&
         GetFileAttributesA(stop.c_str()) == INVALID_FILE_ATTRIBUTES) {
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&clicker));
    Sleep(200);
  }
  std::fclose(clicker.out);
  return 0;
}
