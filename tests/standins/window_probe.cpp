// Looks at and drives the programs' windows in the Wine tests (tests only):
// nobody sits at the virtual display, so this program waits for a window by
// its caption, reads control texts, tells where the painted window is on the
// screen, presses buttons and waits for a program to end, reporting each step
// as one line of UTF-8 on standard output. Every wait is bounded (60 s).
//   window_probe.exe STEP...
//     window=CAPTION   wait for a visible top-level window whose caption starts
//                      with CAPTION                      -> "window <caption>"
//     text=ID          the text of that window's control  -> "text ID <text>"
//     rect             the window, once painted, on screen -> "rect X Y W H"
//     press=ID         a click of that window's button    -> "press ID"
//     closed           wait until that window is gone     -> "closed"
//     process=NAME     wait for a running NAME.exe, keep it -> "process NAME"
//     ended            wait until that program has ended  -> "exit CODE"
// Exit status 0 when every step was done, 1 at the first that was not.
#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kStepMs = 60000;
constexpr DWORD kPollMs = 50;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

void Say(const std::string& line) {
  std::string escaped;
  for (char c : line) {
    if (c == '\n')
      escaped += "\\n";
    else if (c != '\r')
      escaped += c;
  }
  std::fprintf(stdout, "%s\n", escaped.c_str());
  std::fflush(stdout);
}

template <typename Done>
bool WaitUntil(Done done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > kStepMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

struct Search {
  std::wstring prefix;
  HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t caption[512] = {};
  GetWindowTextW(window, caption, 512);
  if (std::wstring(caption).compare(0, search->prefix.size(), search->prefix) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

std::wstring WindowText(HWND window) {
  wchar_t text[2048] = {};
  GetWindowTextW(window, text, 2048);
  return text;
}

BOOL CALLBACK ChildPending(HWND child, LPARAM pending) {
  if (GetUpdateRect(child, nullptr, FALSE)) *reinterpret_cast<bool*>(pending) = true;
  return TRUE;
}

bool PaintPending(HWND window) {
  bool pending = GetUpdateRect(window, nullptr, FALSE) != FALSE;
  EnumChildWindows(window, ChildPending, reinterpret_cast<LPARAM>(&pending));
  return pending;
}

// The window on the screen once it has painted everything: no update region
// is left, and two message round trips let its thread finish the painting it
// started and hand its pixels to the display. (Wine's own screen reads do not
// see another program's windows; the test takes the picture from the X
// display at this rectangle.)
bool SettledRect(HWND window, RECT& r) {
  if (!WaitUntil([&] { return !PaintPending(window); })) return false;
  for (int trip = 0; trip < 2; ++trip) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
  }
  return GetWindowRect(window, &r) != FALSE;
}

HANDLE FindProcess(const std::wstring& name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE found = nullptr;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, name.c_str()) == 0)
      found = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return found;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  HWND window = nullptr;
  HANDLE process = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::wstring step = argv[i];
    const size_t equals = step.find(L'=');
    const std::wstring verb = step.substr(0, equals);
    const std::wstring value = equals == std::wstring::npos ? L"" : step.substr(equals + 1);
    bool done = false;
    if (verb == L"window") {
      Search search{value};
      done = WaitUntil([&] {
        search.found = nullptr;
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      });
      window = search.found;
      if (done) Say("window " + Utf8(WindowText(window)));
    } else if (verb == L"text" && window) {
      const int id = _wtoi(value.c_str());
      Say("text " + Utf8(value) + " " + Utf8(WindowText(GetDlgItem(window, id))));
      done = true;
    } else if (verb == L"rect" && window) {
      RECT r;
      done = SettledRect(window, r);
      if (done)
        Say("rect " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
            std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top));
    } else if (verb == L"press" && window) {
      const int id = _wtoi(value.c_str());
      done = PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                          reinterpret_cast<LPARAM>(GetDlgItem(window, id))) != 0;
      if (done) Say("press " + Utf8(value));
    } else if (verb == L"closed" && window) {
      done = WaitUntil([&] { return !IsWindow(window); });
      if (done) Say("closed");
    } else if (verb == L"process") {
      done = WaitUntil([&] { return (process = FindProcess(value)) != nullptr; });
      if (done) Say("process " + Utf8(value));
    } else if (verb == L"ended" && process) {
      done = WaitForSingleObject(process, kStepMs) == WAIT_OBJECT_0;
      DWORD code = 0;
      GetExitCodeProcess(process, &code);
      if (done) Say("exit " + std::to_string(code));
    }
    if (!done) {
      Say("failed " + Utf8(step));
      return 1;
    }
  }
  return 0;
}
