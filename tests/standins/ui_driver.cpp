// Drives portrelay.exe's settings dialog and application port check in the
// Wine tests (tests only), the way a user at the screen would: it clicks the
// main window's buttons, reads what the windows show (texts, list entries,
// enabled states, the tool tips), takes screenshots and answers the dialogs.
// Everything it finds goes to a UTF-8 report, one "key=value" line each.
//   ui_driver.exe settings REPORT SHOTPREFIX
//       opens the settings dialog (button 1006), reports it, screenshots it
//       (SHOTPREFIX-settings.bmp), switches "Popup" and saves.
//   ui_driver.exe portcheck COMn REPORT SHOTPREFIX
//       holds COMn itself and clicks button 1001 (the red pop-up expected:
//       SHOTPREFIX-held.bmp), then lets it go and clicks again (the green one:
//       SHOTPREFIX-ok.bmp).
//   ui_driver.exe recent ROW REPORT SHOTPREFIX
//       opens the recent receipts window with the tray command, reports its
//       list, selects row ROW and reports the preview, presses Print again,
//       reports the status line, screenshots the window
//       (SHOTPREFIX-recent.bmp) and closes it.
// Each wait is bounded; a missing window ends the program with status 1.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/texts.h"
#include "ui/main_window.h"
#include "ui/recent_receipts_dialog.h"

namespace {

namespace t = core::texts;

constexpr DWORD kWaitMs = 60000;

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring Wide(const char* utf8) {
  wchar_t text[512] = {};
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text, 512);
  return text;
}

// Escapes line breaks so that one value stays on one report line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                      &got);
  return text;
}

struct Report {
  std::FILE* file = nullptr;
  void Line(const std::string& key, const std::string& value) {
    std::fprintf(file, "%s=%s\n", key.c_str(), OneLine(value).c_str());
    std::fflush(file);
  }
};

struct Search {
  std::vector<std::wstring> captions;
  HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  wchar_t cls[32] = {};
  GetClassNameW(window, cls, 32);
  if (std::wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  const std::wstring caption = WindowText(window);
  for (const std::wstring& wanted : search->captions) {
    if (caption == wanted) {
      search->found = window;
      return FALSE;
    }
  }
  return TRUE;
}

// A visible dialog with one of the captions (the main window may be hidden).
HWND WaitForDialog(const std::vector<const char*>& captions, bool visible = true) {
  Search search;
  for (const char* caption : captions) search.captions.push_back(Wide(caption));
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kWaitMs) {
    search.found = nullptr;
    if (visible) {
      EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    } else {
      for (const std::wstring& caption : search.captions)
        if (!search.found) search.found = FindWindowW(L"#32770", caption.c_str());
    }
    if (search.found) return search.found;
    Sleep(100);
  }
  return nullptr;
}

bool WaitGone(HWND window) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kWaitMs) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    Sleep(100);
  }
  return false;
}

HWND MainWindow() {
  return WaitForDialog({t::kWindowCaption.english, t::kWindowCaption.korean}, false);
}

void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The window's area of the screen (with the tool tip showing next to it,
// when given) as a 24-bit BMP.
bool SaveScreenshot(HWND window, const std::string& path, HWND tip = nullptr) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  RECT t;
  if (tip && IsWindowVisible(tip) && GetWindowRect(tip, &t)) UnionRect(&r, &r, &t);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  const DWORD size = stride * static_cast<DWORD>(h);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + size;
  bool ok = false;
  if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
    ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
         std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
         std::fwrite(bits, 1, size, out) == size;
    std::fclose(out);
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return colour;
}

std::string Rgb(COLORREF c) {
  char text[32];
  std::snprintf(text, sizeof text, "%d,%d,%d", GetRValue(c), GetGValue(c), GetBValue(c));
  return text;
}

// The tool tip control the dialog created (a pop-up it owns).
struct TipSearch {
  HWND owner;
  HWND found = nullptr;
};
BOOL CALLBACK FindTooltip(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TipSearch*>(context);
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (lstrcmpiW(cls, TOOLTIPS_CLASSW) == 0 && GetWindow(window, GW_OWNER) == search->owner) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Tool tip texts live in the other program: the request and its text buffer
// are placed in that program's memory.
void ReportTooltips(Report& report, HWND dialog, const std::vector<int>& controls) {
  TipSearch search{dialog};
  EnumWindows(FindTooltip, reinterpret_cast<LPARAM>(&search));
  if (!search.found) {
    report.Line("tooltips", "none");
    return;
  }
  report.Line("tooltips", std::to_string(SendMessageW(search.found, TTM_GETTOOLCOUNT, 0, 0)));
  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return;
  constexpr SIZE_T kTextChars = 1024;
  auto* remote = static_cast<BYTE*>(
      VirtualAllocEx(process, nullptr, sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t),
                     MEM_COMMIT, PAGE_READWRITE));
  if (remote) {
    auto* remoteText = reinterpret_cast<wchar_t*>(remote + sizeof(TTTOOLINFOW));
    for (int id : controls) {
      TTTOOLINFOW ti{};
      ti.cbSize = sizeof ti;
      ti.hwnd = dialog;
      ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, id));
      ti.lpszText = remoteText;
      std::vector<wchar_t> text(kTextChars, L'\0');
      SIZE_T moved = 0;
      WriteProcessMemory(process, remote, &ti, sizeof ti, &moved);
      WriteProcessMemory(process, remoteText, text.data(), text.size() * sizeof(wchar_t), &moved);
      SendMessageW(search.found, TTM_GETTEXTW, kTextChars, reinterpret_cast<LPARAM>(remote));
      ReadProcessMemory(process, remoteText, text.data(), text.size() * sizeof(wchar_t), &moved);
      text.back() = L'\0';
      report.Line("tip " + std::to_string(id), Utf8(text.data()));
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
}

std::string ComboEntries(HWND combo) {
  std::string entries;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    if (i) entries += '|';
    entries += Utf8(text);
  }
  return entries;
}

// Moves the mouse onto the control and waits for its tool tip to show; the
// tool tip window, or null.
HWND HoverForTooltip(HWND dialog, int id) {
  RECT r;
  GetWindowRect(GetDlgItem(dialog, id), &r);
  SetCursorPos((r.left + r.right) / 2 - 3, (r.top + r.bottom) / 2);
  Sleep(50);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  TipSearch search{dialog};
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 5000) {
    search.found = nullptr;
    EnumWindows(FindTooltip, reinterpret_cast<LPARAM>(&search));
    if (search.found && IsWindowVisible(search.found)) return search.found;
    Sleep(100);
  }
  return nullptr;
}

int RunSettings(Report& report, const std::string& shots) {
  HWND main = MainWindow();
  if (!main) return 1;
  Click(main, 1006);
  HWND dialog = WaitForDialog({t::kSettingsCaption.english, t::kSettingsCaption.korean});
  if (!dialog) {
    report.Line("settings", "missing");
    return 1;
  }
  Sleep(500);  // the first painting
  report.Line("caption", Utf8(WindowText(dialog)));
  const int texts[] = {1029, 1030, 1031, 1032, 1033, 1034, 1,
                       2,    1038, 1028, 1039, 1027, 1009, 1016};
  for (int id : texts)
    report.Line("text " + std::to_string(id), Utf8(WindowText(GetDlgItem(dialog, id))));
  const int lists[] = {1008, 1010, 1011, 1012, 1013, 1014, 1017};
  for (int id : lists) {
    HWND combo = GetDlgItem(dialog, id);
    report.Line("list " + std::to_string(id), ComboEntries(combo));
    report.Line("selected " + std::to_string(id),
                std::to_string(SendMessageW(combo, CB_GETCURSEL, 0, 0)));
  }
  for (int id : {1, 2, 1008, 1010, 1011, 1012, 1015, 1017})
    report.Line("enabled " + std::to_string(id),
                IsWindowEnabled(GetDlgItem(dialog, id)) ? "1" : "0");
  RECT client;
  GetClientRect(dialog, &client);
  POINT corner{2, 2};
  ClientToScreen(dialog, &corner);
  report.Line("background top", Rgb(ScreenPixel(corner.x, corner.y)));
  ReportTooltips(report, dialog, {1008, 1010, 1011, 1012, 1013, 1009, 1017, 1016});

  HWND tip = HoverForTooltip(dialog, 1012);
  report.Line("tooltip shown", tip ? "1" : "0");
  Sleep(300);
  report.Line("screenshot", SaveScreenshot(dialog, shots + "-settings.bmp", tip) ? "1" : "0");

  // The user switches the pop-up setting and saves.
  HWND popup = GetDlgItem(dialog, 1012);
  const LRESULT now = SendMessageW(popup, CB_GETCURSEL, 0, 0);
  SendMessageW(popup, CB_SETCURSEL, now == 0 ? 1 : 0, 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1012, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(popup));
  report.Line("enabled after change 1", IsWindowEnabled(GetDlgItem(dialog, 1)) ? "1" : "0");
  Click(dialog, IDOK);
  report.Line("saved", WaitGone(dialog) ? "1" : "0");
  return 0;
}

// One click of button 1001 and the status pop-up it brings.
bool CheckOnce(Report& report, HWND main, const std::string& key, const std::string& shot) {
  Click(main, 1001);
  HWND status = WaitForDialog({t::kStatusCaptionNormal.english, t::kStatusCaptionError.english,
                               t::kStatusCaptionNormal.korean, t::kStatusCaptionError.korean});
  if (!status) {
    report.Line(key, "missing");
    return false;
  }
  Sleep(500);
  report.Line(key + " caption", Utf8(WindowText(status)));
  report.Line(key + " text", Utf8(WindowText(GetDlgItem(status, 1010))));
  POINT corner{4, 4};
  ClientToScreen(status, &corner);
  report.Line(key + " background top", Rgb(ScreenPixel(corner.x, corner.y)));
  report.Line(key + " screenshot", SaveScreenshot(status, shot) ? "1" : "0");
  Click(status, IDOK);
  return WaitGone(status);
}

int RunPortCheck(Report& report, const std::string& port, const std::string& shots) {
  HWND main = MainWindow();
  if (!main) return 1;
  const std::string path = "\\\\.\\" + port;
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  report.Line("held", held != INVALID_HANDLE_VALUE ? "1" : "0");
  if (held == INVALID_HANDLE_VALUE) return 1;
  const bool first = CheckOnce(report, main, "held", shots + "-held.bmp");
  CloseHandle(held);
  if (!first) return 1;
  return CheckOnce(report, main, "free", shots + "-ok.bmp") ? 0 : 1;
}

// Memory in the program that owns `window`, for the messages whose parameter
// points at a structure (a list view's items).
class RemoteMemory {
 public:
  RemoteMemory(HWND window, SIZE_T size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_)
      at_ = static_cast<BYTE*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  }
  ~RemoteMemory() {
    if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  BYTE* at() const { return at_; }
  void Write(SIZE_T offset, const void* data, SIZE_T size) {
    SIZE_T moved = 0;
    WriteProcessMemory(process_, at_ + offset, data, size, &moved);
  }
  void Read(SIZE_T offset, void* data, SIZE_T size) {
    SIZE_T moved = 0;
    ReadProcessMemory(process_, at_ + offset, data, size, &moved);
  }

 private:
  HANDLE process_ = nullptr;
  BYTE* at_ = nullptr;
};

std::string ListCell(HWND list, int row, int column) {
  constexpr int kChars = 256;
  RemoteMemory remote(list, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
  if (!remote.at()) return {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<wchar_t*>(remote.at() + sizeof item);
  item.cchTextMax = kChars;
  remote.Write(0, &item, sizeof item);
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(remote.at()));
  wchar_t text[kChars] = {};
  remote.Read(sizeof item, text, sizeof text);
  text[kChars - 1] = L'\0';
  return Utf8(text);
}

void SelectRow(HWND list, int row) {
  RemoteMemory remote(list, sizeof(LVITEMW));
  if (!remote.at()) return;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  remote.Write(0, &item, sizeof item);
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(remote.at()));
}

// Waits until the control shows some text; that text.
std::string WaitForText(HWND control) {
  const DWORD start = GetTickCount();
  std::wstring text;
  while ((text = WindowText(control)).empty() && GetTickCount() - start < 10000) Sleep(100);
  return Utf8(text);
}

int RunRecent(Report& report, int row, const std::string& shots) {
  namespace ids = ui::recent_controls;
  HWND main = MainWindow();
  if (!main) return 1;
  Click(main, ui::kRecentReceiptsCommand);
  HWND dialog = WaitForDialog({t::kRecentCaption.english, t::kRecentCaption.korean});
  if (!dialog) {
    report.Line("recent", "missing");
    return 1;
  }
  Sleep(500);  // the first painting
  report.Line("caption", Utf8(WindowText(dialog)));
  for (int id : {ids::kListLabel, ids::kPreviewLabel, ids::kPrintAgain, ids::kClose})
    report.Line("text " + std::to_string(id), Utf8(WindowText(GetDlgItem(dialog, id))));
  HWND problem = GetDlgItem(dialog, ids::kProblem);
  report.Line("problem", IsWindowVisible(problem) ? Utf8(WindowText(problem)) : "");
  HWND list = GetDlgItem(dialog, ids::kList);
  const int rows =
      IsWindowVisible(list) ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
  report.Line("rows", std::to_string(rows));
  for (int i = 0; i < rows; ++i)
    report.Line("row " + std::to_string(i),
                ListCell(list, i, 0) + "|" + ListCell(list, i, 1) + "|" + ListCell(list, i, 2));
  report.Line("enabled before", IsWindowEnabled(GetDlgItem(dialog, ids::kPrintAgain)) ? "1" : "0");
  if (row < rows) {
    SelectRow(list, row);
    report.Line("preview", WaitForText(GetDlgItem(dialog, ids::kPreview)));
    Click(dialog, ids::kPrintAgain);
    report.Line("status", WaitForText(GetDlgItem(dialog, ids::kStatus)));
  }
  Sleep(300);
  report.Line("screenshot", SaveScreenshot(dialog, shots + "-recent.bmp") ? "1" : "0");
  Click(dialog, IDCANCEL);
  report.Line("closed", WaitGone(dialog) ? "1" : "0");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: ui_driver settings REPORT SHOTPREFIX | portcheck COMn REPORT SHOTPREFIX |"
                 " recent ROW REPORT SHOTPREFIX\n");
    return 2;
  }
  const std::string command = argv[1];
  // The commands with an argument before the report.
  const bool argument = command == "portcheck" || command == "recent";
  if (argument && argc < 5) return 2;
  Report report;
  report.file = std::fopen(argv[argument ? 3 : 2], "wb");
  if (!report.file) return 2;
  const int result = command == "portcheck" ? RunPortCheck(report, argv[2], argv[4])
                     : command == "recent"  ? RunRecent(report, std::atoi(argv[2]), argv[4])
                                            : RunSettings(report, argv[3]);
  report.Line("end", std::to_string(result));
  std::fclose(report.file);
  return result;
}
