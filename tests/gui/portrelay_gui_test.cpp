// portrelay.exe on the Wine desktop, in the code page Wine takes from the
// locale (949 Korean, 1252 English). The driver (run-portrelay-gui) gives it
// a folder with the program and its INI files, a printer simulator on
// PORTRELAY_PRINTER_IP:9100 (lines appended to PORTRELAY_PRINTER_CONTROL are
// its commands) and a virtual pair: the relay end COM21, the application end
// COM22. The tests start the program once, find its windows, read their
// texts, drive the tray icon with its callback message, pick tray menu
// commands, read the painted pixels back from the screen, and save
// screenshots (BMP, <name>_<code page>.bmp in PORTRELAY_SCREENSHOTS).
// They run in order, each starting from the window in the tray; the last one
// ends the program through the exit confirmation.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/texts.h"
#include "tests/gui/gui_support.h"
#include "tests/gui/portrelay_gui_ids.h"
#include "ui/gradients.h"

namespace {

using guitest::Pixels;
using guitest::Utf8;
using guitest::Wide;

constexpr UINT kTrayCallback = WM_APP + 100;
constexpr DWORD kStartMs = 60000;
constexpr DWORD kWaitMs = 10000;

// ---- The texts: portrelay's table, and the template's own (UTF-8) ----

namespace t = core::texts;
using Texts = core::Text;

bool Korean() { return GetACP() == core::kKoreanCodePage; }
std::wstring Say(const Texts& text) { return Wide(Korean() ? text.korean : text.english); }

// The tray menu comes from the template: English and Korean.
const Texts kTrayMenu[] = {{"Open service (&O)", "서비스 열기 (&O)"},
                           {"", ""},
                           {"Printer's Setting (&S)", "프린터 설정 (&S)"},
                           {"Recent receipts (&R)", "최근 영수증 (&R)"},
                           {"", ""},
                           {"Exit service (&X)", "서비스 종료 (&X)"}};
const UINT kTrayMenuIds[] = {32771, 0, 32774, 32775, 0, 32773};

// Template 102: every control with its text and place (dialog units).
// Statics without an id (-1) are found by their place. The controls without
// an English text keep the template's Korean one, which an ANSI program shows
// in code page 1252 as question marks; they lie outside the window.
struct ControlSpec {
  int id;
  Texts text;
  RECT dlu;  // x, y, width, height
  bool exactHeight;
};
const ControlSpec kControls[] = {
    {1025, t::kAppPortLabel, {18, 16, 88, 8}, true},
    {1004, {"", ""}, {115, 14, 42, 13}, true},
    {1001, t::kCheckPortButton, {16, 39, 141, 36}, true},
    {1006, t::kSettingsButton, {16, 82, 141, 36}, true},
    {1000, t::kAddPortButton, {20, 207, 131, 36}, true},
    {-1, {nullptr, "포트 개수 : "}, {55, 159, 36, 8}, true},
    {1023, {"1", "1"}, {93, 157, 26, 12}, true},
    {1024, t::kConnectedPortLabel, {26, 181, 70, 9}, true},
    // A drop-down list is as high as its edit part.
    {1019, {"TCP/IP", "TCP/IP"}, {99, 179, 51, 15}, false},
    {1021, {"", ""}, {19, 263, 131, 12}, true},
    {-1, {nullptr, "전체 COM 포트"}, {214, 13, 66, 8}, true},
    {1003, {"", ""}, {215, 30, 64, 132}, true},
    {-1, {nullptr, "가상 전체 포트"}, {291, 14, 66, 8}, true},
    {1005, {"", ""}, {292, 30, 64, 132}, true},
    {1016, {nullptr, "어플리케이션과 프린터 페어 포트 정보"}, {364, 16, 146, 146}, true},
    {-1, {nullptr, "프린터"}, {378, 33, 45, 10}, true},
    {1002, {"", ""}, {376, 47, 49, 107}, true},
    {1022, {nullptr, "App 인쇄 테스트"}, {429, 46, 76, 28}, true},
    {1007, {nullptr, "가상 COM 설치(&I)"}, {518, 30, 108, 32}, true},
    {1020, {nullptr, "가상 COM 포트 설치 테스트"}, {520, 73, 107, 32}, true},
};

// ---- Environment from the driver ----

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// ---- Windows of the program ----

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::vector<HWND> TopLevel(DWORD pid, const wchar_t* cls) {
  std::vector<HWND> found;
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, cls, nullptr))) {
    if (ProcessOf(w) == pid) found.push_back(w);
  }
  return found;
}

std::wstring Text(HWND window) {
  wchar_t text[2048] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                      &ignored);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  return cls;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

RECT ScreenRect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

RECT ClientOnScreen(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  return {origin.x, origin.y, origin.x + r.right, origin.y + r.bottom};
}

// A child's rectangle in its dialog's client coordinates.
RECT InDialog(HWND dialog, HWND child) {
  RECT r = ScreenRect(child);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Wine shows each tray icon as a window of its own; where that is not so the
// count is -1 and only the program's own icon is checked.
int WineTrayIcons() {
  int n = 0;
  HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
  if (!tray) return FindWindowW(L"Shell_TrayWnd", nullptr) ? 0 : -1;
  for (HWND child : Children(tray)) n += ClassOf(child) == L"__winex11_tray_icon";
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"__winex11_tray_icon", nullptr));) ++n;
  return n;
}

// The tip Wine's tray shows while the pointer rests on the last tray icon;
// empty when there is none to hover.
std::wstring TrayTip() {
  HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
  HWND icon = nullptr;
  if (tray) {
    for (HWND child : Children(tray)) {
      if (ClassOf(child) == L"__winex11_tray_icon") icon = child;
    }
  }
  if (!icon) return L"";
  const RECT r = ScreenRect(icon);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  std::wstring tip;
  WaitUntil([&] {
    for (HWND w : TopLevel(ProcessOf(tray), TOOLTIPS_CLASSW)) {
      if (IsWindowVisible(w)) tip = Text(w);
    }
    return !tip.empty();
  });
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  return tip;
}

bool IsOwnerDrawn(HWND button) {
  return (GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW;
}
bool IsTopmost(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// ---- Pixels ----

COLORREF ToColorref(ui::Rgb c) { return RGB(c.r, c.g, c.b); }

// Rows of column x that differ from the row formula.
int RowMismatches(const Pixels& p, int x, ui::Rgb (*row)(int, int)) {
  int n = 0;
  for (int y = 0; y < p.height; ++y) n += p.At(x, y) != ToColorref(row(y, p.height));
  return n;
}

int Colours(const Pixels& p) {
  std::vector<COLORREF> colours(p.colours);
  std::sort(colours.begin(), colours.end());
  return static_cast<int>(std::unique(colours.begin(), colours.end()) - colours.begin());
}

// Pixels of the button's icon square that are not the button face.
int IconPixels(HWND button) {
  const RECT r = ScreenRect(button);
  const int middle = (r.top + r.bottom) / 2;
  const Pixels p = guitest::CaptureScreen({r.left + 4, middle - 16, r.left + 36, middle + 16});
  int n = 0;
  for (COLORREF c : p.colours) n += c != GetSysColor(COLOR_BTNFACE);
  return n;
}

// The button's face is on the screen (it paints after its dialog) with an
// icon on its left.
bool IconDrawn(HWND button) {
  return WaitUntil([&] {
    const RECT r = ScreenRect(button);
    const Pixels face = guitest::CaptureScreen(
        {r.right - 8, (r.top + r.bottom) / 2, r.right - 7, (r.top + r.bottom) / 2 + 1});
    return face.At(0, 0) == GetSysColor(COLOR_BTNFACE) && IconPixels(button) > 100;
  });
}

void SaveScreenshot(const char* name, const RECT& area) {
  const std::string dir = Env("PORTRELAY_SCREENSHOTS");
  if (dir.empty()) return;  // run by hand: nothing to save
  const std::string path = dir + "\\" + name + "_" + std::to_string(GetACP()) + ".bmp";
  // A copy that reaches beyond the screen comes back black.
  const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT shown;
  IntersectRect(&shown, &area, &screen);
  EXPECT_TRUE(guitest::SaveBmp(guitest::CaptureScreen(shown), path)) << path;
}

// ---- The program under test ----

struct Program {
  PROCESS_INFORMATION process{};
  HWND main = nullptr;
  int baselineIcons = 0;
  bool started = false;
};
Program g;

bool IconPresent() {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = g.main;
  nid.uID = 0;
  // Changes nothing; fails when the shell has no such icon.
  return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

::testing::AssertionResult OneIcon() {
  if (!IconPresent()) return ::testing::AssertionFailure() << "no tray icon";
  const int n = WineTrayIcons();
  if (n >= 0 && n - g.baselineIcons != 1)
    return ::testing::AssertionFailure() << n - g.baselineIcons << " tray icons";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult NoIcon() {
  if (IconPresent()) return ::testing::AssertionFailure() << "the tray icon is still there";
  const int n = WineTrayIcons();
  if (n >= 0 && n != g.baselineIcons)
    return ::testing::AssertionFailure() << n - g.baselineIcons << " tray icons";
  return ::testing::AssertionSuccess();
}

bool Hidden() { return !IsWindowVisible(g.main); }
bool Shown() { return IsWindowVisible(g.main) && !IsIconic(g.main); }

void Post(UINT message, WPARAM wParam, LPARAM lParam) {
  PostMessageW(g.main, message, wParam, lParam);
}
void TrayEvent(UINT mouse) { Post(kTrayCallback, 0, mouse); }

::testing::AssertionResult GoesToTheTray() {
  if (!WaitUntil([] { return Hidden() && IconPresent(); }))
    return ::testing::AssertionFailure() << "the window did not go to the tray";
  return OneIcon();
}

::testing::AssertionResult ComesBack() {
  if (!WaitUntil(Shown)) return ::testing::AssertionFailure() << "the window did not come back";
  return NoIcon();
}

HWND VisibleDialog(const std::wstring& caption, DWORD timeoutMs = kWaitMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND w : TopLevel(g.process.dwProcessId, L"#32770")) {
          if (IsWindowVisible(w) && Text(w) == caption) found = w;
        }
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

HWND VisibleMenu() {
  HWND found = nullptr;
  WaitUntil([&] {
    for (HWND w : TopLevel(g.process.dwProcessId, L"#32768")) {
      if (IsWindowVisible(w)) found = w;
    }
    return found != nullptr;
  });
  return found;
}

bool MenuClosed() {
  for (HWND w : TopLevel(g.process.dwProcessId, L"#32768")) {
    if (IsWindowVisible(w)) return false;
  }
  return true;
}

// Picks a tray menu command by its mnemonic, as a user with the keyboard.
::testing::AssertionResult ChooseFromTrayMenu(wchar_t mnemonic) {
  TrayEvent(WM_RBUTTONDOWN);
  HWND menu = VisibleMenu();
  if (!menu) return ::testing::AssertionFailure() << "no tray menu";
  PostMessageW(menu, WM_CHAR, mnemonic, 0);
  if (!WaitUntil(MenuClosed)) return ::testing::AssertionFailure() << "the menu stayed open";
  return ::testing::AssertionSuccess();
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool Ended() { return WaitForSingleObject(g.process.hProcess, 0) == WAIT_OBJECT_0; }

std::string ReadLogs() {
  const std::string dir = Env("PORTRELAY_GUI_DIR") + "\\MainLog\\";
  std::string text;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "*.log").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return text;
  do {
    HANDLE file =
        CreateFileA((dir + found.cFileName).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    CloseHandle(file);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return text;
}

// One command line for the printer simulator.
bool TellPrinter(const std::string& line) {
  HANDLE file = CreateFileA(Env("PORTRELAY_PRINTER_CONTROL").c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string text = line + "\n";
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

class PortrelayGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string dir = Env("PORTRELAY_GUI_DIR");
    if (dir.empty()) return;
    // The pointer stays off the windows: a tooltip that pops up under it
    // would sit in the screenshots.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    g.baselineIcons = WineTrayIcons();
    std::string command = "\"" + dir + "\\portrelay.exe\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                        &si, &g.process))
      return;
    WaitUntil(
        [] {
          for (HWND w : TopLevel(g.process.dwProcessId, L"#32770")) {
            if (GetDlgItem(w, 1001)) g.main = w;
          }
          return g.main != nullptr && Hidden() && IconPresent();
        },
        kStartMs);
    g.started = g.main != nullptr;
  }

  static void TearDownTestSuite() {
    if (!g.process.hProcess) return;
    if (!Ended()) {
      TerminateProcess(g.process.hProcess, 1);
      WaitForSingleObject(g.process.hProcess, 10000);
    }
    CloseHandle(g.process.hThread);
    CloseHandle(g.process.hProcess);
  }

  // Every test but the first starts from the window in the tray.
  void SetUp() override {
    ASSERT_FALSE(Env("PORTRELAY_GUI_DIR").empty()) << "run through tests/gui/run-portrelay-gui";
    ASSERT_TRUE(g.started) << "portrelay.exe did not start into the tray";
    ASSERT_FALSE(Ended()) << "portrelay.exe has ended";
    if (!Hidden()) {
      Post(WM_SYSCOMMAND, SC_CLOSE, 0);
      ASSERT_TRUE(GoesToTheTray());
    }
  }
};

TEST_F(PortrelayGui, StartsHiddenInTheTrayWithOneIcon) {
  EXPECT_FALSE(IsWindowVisible(g.main));
  EXPECT_TRUE(IsIconic(g.main)) << "hidden from its minimised state";
  EXPECT_TRUE(OneIcon());
  EXPECT_EQ(Utf8(Text(g.main)), Utf8(Say(t::kWindowCaption)));
  if (WineTrayIcons() == 1) {
    EXPECT_EQ(Utf8(TrayTip()), Utf8(Say(t::kWindowCaption))) << "the tray tip is the caption";
  }
  EXPECT_TRUE(GetWindowLongW(g.main, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

INT_PTR CALLBACK MeasureProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Dialog units (x, y, width, height) in pixels, as the program's font makes
// them; the dialog manager converts the place and the size each on its own.
RECT DluToPixels(const RECT& dlu) {
  static HWND measure = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MEASURE),
                                           nullptr, MeasureProc, 0);
  RECT r = dlu;
  MapDialogRect(measure, &r);
  return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

TEST_F(PortrelayGui, ControlsStandWhereTheTemplateSaysWithTheirTexts) {
  const std::vector<HWND> children = Children(g.main);
  for (const ControlSpec& spec : kControls) {
    SCOPED_TRACE(spec.id == -1 ? std::string(spec.text.korean) : std::to_string(spec.id));
    const RECT want = DluToPixels(spec.dlu);
    HWND control = nullptr;
    if (spec.id != -1) {
      control = GetDlgItem(g.main, spec.id);
    } else {
      for (HWND child : children) {
        const RECT r = InDialog(g.main, child);
        const int id = GetDlgCtrlID(child);
        if ((id == -1 || id == 0xFFFF) && r.left == want.left && r.top == want.top) control = child;
      }
    }
    ASSERT_NE(control, nullptr);
    const RECT got = InDialog(g.main, control);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    if (spec.exactHeight) {
      EXPECT_EQ(got.bottom, want.bottom);
    }
    if (!Korean() && !spec.text.english) continue;
    const std::wstring text = Say(spec.text);
    if (!text.empty()) {
      EXPECT_EQ(Utf8(Text(control)), Utf8(text));
    }
  }
  for (int id : {1000, 1001, 1006}) EXPECT_TRUE(IsOwnerDrawn(GetDlgItem(g.main, id))) << id;
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(g.main, 1021))) << "the progress bar is hidden";
  for (int id : {1002, 1004, 1019, 1023}) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(g.main, id)));
  EXPECT_EQ(Utf8(Text(GetDlgItem(g.main, 1023))), "1") << "COM21 counts as opened";
}

TEST_F(PortrelayGui, TrayClicksRestoreAndEveryClosePathHidesWithOneIcon) {
  struct Path {
    const char* name;
    std::function<void()> hide;
  };
  const Path paths[] = {
      {"minimise", [] { Post(WM_SYSCOMMAND, SC_MINIMIZE, 0); }},
      {"close box", [] { Post(WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"Alt+F4", [] { Post(WM_SYSKEYDOWN, VK_F4, 1 | (0x3E << 16) | (1 << 29)); }},
      {"Escape", [] { Post(WM_KEYDOWN, VK_ESCAPE, 1 | (0x01 << 16)); }},
      {"Kelvo_VCOM", [] { Post(RegisterWindowMessageW(L"Kelvo_VCOM"), 0, 0); }},
  };
  bool doubleClick = false;
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    TrayEvent(doubleClick ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN);
    doubleClick = !doubleClick;
    ASSERT_TRUE(ComesBack());
    path.hide();
    ASSERT_TRUE(GoesToTheTray());
    EXPECT_FALSE(Ended());
  }
  // Mouse events other than a left press or double click change nothing.
  for (UINT other : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONDOWN}) {
    TrayEvent(other);
  }
  // A message sent after those has been handled after them.
  SendMessageW(g.main, WM_NULL, 0, 0);
  EXPECT_TRUE(Hidden());
  EXPECT_TRUE(OneIcon());
}

TEST_F(PortrelayGui, HidingAgainInTheTrayKeepsOneIcon) {
  const UINT relay = RegisterWindowMessageW(L"Kelvo_VCOM");
  for (int i = 0; i < 3; ++i) {
    SendMessageW(g.main, relay, 0, 0);
    SendMessageW(g.main, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  // Each hide shows the window minimised until its queued hide arrives.
  EXPECT_TRUE(WaitUntil(Hidden));
  EXPECT_TRUE(OneIcon());
}

TEST_F(PortrelayGui, ExplorerRestartingGetsTheIconBack) {
  // What a restarted Explorer has: no icons at all.
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = g.main;
  nid.uID = 0;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
  ASSERT_TRUE(NoIcon());
  SendMessageW(g.main, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(OneIcon());
  EXPECT_TRUE(Hidden());
}

TEST_F(PortrelayGui, TheBackgroundIsTheGradientAndStaticTextsHaveNoBox) {
  TrayEvent(WM_LBUTTONDOWN);
  ASSERT_TRUE(ComesBack());
  const RECT client = ClientOnScreen(g.main);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  // Above every control and below the buttons.
  auto columnsMismatch = [&](const Pixels& p) {
    int n = 0;
    for (int y : {2, height - 3}) {
      for (int x = 0; x < width; ++x) n += p.At(x, y) != ToColorref(ui::MainWindowColumn(x, width));
    }
    return n;
  };
  // Every pixel of the label is the gradient or text drawn on it (darker in
  // every channel); a grey box is neither.
  const RECT label = InDialog(g.main, GetDlgItem(g.main, 1025));
  int box = 0, ink = 0;
  auto readLabel = [&](const Pixels& p) {
    box = ink = 0;
    for (int y = label.top; y < label.bottom; ++y) {
      for (int x = label.left; x < label.right; ++x) {
        const COLORREF c = p.At(x, y);
        const ui::Rgb back = ui::MainWindowColumn(x, width);
        if (c == ToColorref(back)) continue;
        if (GetRValue(c) <= back.r && GetGValue(c) <= back.g && GetBValue(c) <= back.b) {
          ++ink;
        } else {
          ++box;
        }
      }
    }
  };
  // The label paints itself after the window.
  Pixels shot;
  EXPECT_TRUE(WaitUntil([&] {
    shot = guitest::CaptureScreen(client);
    readLabel(shot);
    return columnsMismatch(shot) == 0 && ink > 20;
  })) << columnsMismatch(shot)
      << " pixels differ from the gradient";
  EXPECT_EQ(box, 0);
  EXPECT_GT(ink, 20) << "the label's text is drawn";
  for (int id : {1001, 1006}) EXPECT_TRUE(IconDrawn(GetDlgItem(g.main, id))) << id;
  // The small window icon in the caption: the program icon's several
  // colours on the flat caption.
  const RECT frame = ScreenRect(g.main);
  const int edge = client.left - frame.left;
  const int caption = client.top - frame.top;
  const Pixels icon = guitest::CaptureScreen(
      {frame.left + edge, frame.top + edge, frame.left + caption, frame.top + caption - 1});
  EXPECT_GE(Colours(icon), 4);
  SaveScreenshot("main_window", ScreenRect(g.main));
}

TEST_F(PortrelayGui, TheButtonsCarryTheirTooltips) {
  const Texts tips[] = {t::kTipSettings, t::kTipCheckPort};
  const int buttons[] = {1006, 1001};
  TrayEvent(WM_LBUTTONDOWN);
  ASSERT_TRUE(ComesBack());
  for (int i = 0; i < 2; ++i) {
    const RECT r = ScreenRect(GetDlgItem(g.main, buttons[i]));
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    std::wstring shown;
    WaitUntil([&] {
      for (HWND w : TopLevel(g.process.dwProcessId, TOOLTIPS_CLASSW)) {
        if (IsWindowVisible(w)) shown = Text(w);
      }
      return shown == Say(tips[i]);
    });
    EXPECT_EQ(Utf8(shown), Utf8(Say(tips[i]))) << buttons[i];
  }
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  EXPECT_TRUE(WaitUntil([] {
    for (HWND w : TopLevel(g.process.dwProcessId, TOOLTIPS_CLASSW)) {
      if (IsWindowVisible(w)) return false;
    }
    return true;
  }));
}

SIZE g_measured;
int g_ticks;

// Runs inside the menu's own loop: notes the popup's size and closes it.
void CALLBACK MeasureMenu(HWND, UINT, UINT_PTR, DWORD) {
  for (HWND w : TopLevel(GetCurrentProcessId(), L"#32768")) {
    if (!IsWindowVisible(w)) continue;
    const RECT r = ScreenRect(w);
    g_measured = {r.right - r.left, r.bottom - r.top};
  }
  if (g_measured.cx || ++g_ticks > 100) EndMenu();
}

// The size of a menu of portrelay.exe as this program's own popup shows it.
SIZE TrackedMenuSize(HMODULE module, int id) {
  g_measured = {};
  g_ticks = 0;
  HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(id));
  HWND owner =
      CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  SetTimer(owner, 1, 50, MeasureMenu);
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, 10, 10, 0,
                 owner, nullptr);
  KillTimer(owner, 1);
  DestroyWindow(owner);
  DestroyMenu(menu);
  return g_measured;
}

TEST_F(PortrelayGui, RightClickShowsTheTrayMenuInTheSystemsLanguage) {
  const std::string exe = Env("PORTRELAY_GUI_DIR") + "\\portrelay.exe";
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const int own = Korean() ? 143 : 144;
  const int other = Korean() ? 144 : 143;
  HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(own));
  ASSERT_NE(menu, nullptr);
  HMENU popup = GetSubMenu(menu, 0);
  ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(std::size(kTrayMenu)));
  for (int i = 0; i < static_cast<int>(std::size(kTrayMenu)); ++i) {
    wchar_t text[128] = {};
    GetMenuStringW(popup, i, text, 128, MF_BYPOSITION);
    EXPECT_EQ(Utf8(text), Utf8(Say(kTrayMenu[i]))) << i;
    EXPECT_EQ(GetMenuItemID(popup, i), kTrayMenuIds[i] ? kTrayMenuIds[i] : 0u) << i;
  }
  DestroyMenu(menu);
  const SIZE ownSize = TrackedMenuSize(module, own);
  const SIZE otherSize = TrackedMenuSize(module, other);
  FreeLibrary(module);
  ASSERT_NE(ownSize.cx, otherSize.cx) << "the two menus cannot be told apart by size";

  TrayEvent(WM_RBUTTONDOWN);
  HWND shown = VisibleMenu();
  ASSERT_NE(shown, nullptr);
  const RECT r = ScreenRect(shown);
  EXPECT_EQ(r.right - r.left, ownSize.cx);
  EXPECT_EQ(r.bottom - r.top, ownSize.cy);
  EXPECT_TRUE(Hidden());
  EXPECT_TRUE(OneIcon());
  EXPECT_TRUE(WaitUntil([&] { return Colours(guitest::CaptureScreen(r)) >= 3; }))
      << "the menu is not drawn";
  SaveScreenshot("tray_menu", {r.left - 8, r.top - 8, r.right + 8, r.bottom + 8});
  PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(WaitUntil(MenuClosed));
  EXPECT_TRUE(Hidden());
  EXPECT_TRUE(OneIcon());
}

TEST_F(PortrelayGui, OpenServiceRestoresTheWindowTopmost) {
  ASSERT_TRUE(ChooseFromTrayMenu(L'o'));
  ASSERT_TRUE(ComesBack());
  EXPECT_TRUE(WaitUntil([] { return IsTopmost(g.main); }));
}

TEST_F(PortrelayGui, PrinterSettingLeavesTheProgramRunning) {
  ASSERT_TRUE(ChooseFromTrayMenu(L's'));
  // Once the settings dialog exists it answers here; it is closed unchanged.
  HWND settings = VisibleDialog(Say(t::kSettingsCaption), 2000);
  if (settings) {
    PostMessageW(settings, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(settings); }));
  }
  EXPECT_FALSE(Ended());
  EXPECT_TRUE(Hidden());
  EXPECT_TRUE(OneIcon());
}

TEST_F(PortrelayGui, TheSystemMenuItemOpensTheInformationDialog) {
  // The item's text, appended to the system menu from string 101.
  const std::string exe = Env("PORTRELAY_GUI_DIR") + "\\portrelay.exe";
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  wchar_t item[64] = {};
  LoadStringW(module, 101, item, 64);
  FreeLibrary(module);
  EXPECT_EQ(Utf8(item), "KelvoSvr Information(&A)...");

  Post(WM_SYSCOMMAND, 16, 0);
  HWND info = VisibleDialog(Say(t::kInfoCaption));
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(IsTopmost(info));
  std::vector<std::string> texts;
  for (HWND child : Children(info)) texts.push_back(Utf8(Text(child)));
  for (const char* want : {"DORVA RadozadOZU  2.10", "Copyright (C) Kelvo"}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), want), texts.end()) << want;
  }
  EXPECT_EQ(Utf8(Text(GetDlgItem(info, 1036))), Utf8(Say(t::kInfoDescription)));
  EXPECT_EQ(Utf8(Text(GetDlgItem(info, IDOK))), Utf8(Say(t::kInfoOk)));

  const RECT client = ClientOnScreen(info);
  Pixels shot;
  EXPECT_TRUE(WaitUntil([&] {
    shot = guitest::CaptureScreen(client);
    return RowMismatches(shot, 2, ui::InfoDialogRow) == 0;
  })) << RowMismatches(shot, 2, ui::InfoDialogRow)
      << " rows differ from the gradient";
  SaveScreenshot("info_dialog", ScreenRect(info));
  Click(GetDlgItem(info, IDOK));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(info); }));
  EXPECT_TRUE(Hidden());
  EXPECT_TRUE(OneIcon());
}

// A job the printer does not answer, pop-ups on: "no response" (red), then,
// the printer answering again, "no error" (green) and the reprint question
// (blue, with Cancel).
TEST_F(PortrelayGui, StatusPopUpsOfAJobThePrinterDidNotAnswer) {
  ASSERT_TRUE(WaitUntil([] { return ReadLogs().find("COM21 open success") != std::string::npos; }))
      << ReadLogs();
  ASSERT_TRUE(TellPrinter("silent on"));
  HANDLE port = CreateFileA(("\\\\.\\" + Env("PORTRELAY_APP_PORT")).c_str(),
                            GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
  const char job[] = "\x1b@GUI TEST RECEIPT\n\n\n\x1dV\x41\x03";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port, job, sizeof job - 1, &written, nullptr));
  CloseHandle(port);

  struct PopUp {
    const char* name;
    Texts caption;
    Texts text;
    ui::Rgb (*row)(int, int);
    bool cancel;
  };
  const PopUp popUps[] = {
      {"status_error", t::kStatusCaptionError, t::kJobNoResponse, ui::StatusErrorRow, false},
      {"status_normal", t::kStatusCaptionNormal, t::kJobNoError, ui::StatusNormalRow, false},
      {"status_reprint", t::kStatusCaptionReprint, t::kJobReprint, nullptr, true},
  };
  for (const PopUp& popUp : popUps) {
    SCOPED_TRACE(popUp.name);
    HWND dialog = VisibleDialog(Say(popUp.caption), 30000);
    ASSERT_NE(dialog, nullptr);
    // The message behind the printer port's prefix, "TCP/IP(<address>) port : ".
    const Texts& prefix = t::kPortPrefixTcp;
    EXPECT_EQ(Utf8(Text(GetDlgItem(dialog, 1010))),
              core::FormatText(Korean() ? prefix.korean : prefix.english, "TCP/IP",
                               Env("PORTRELAY_PRINTER_IP").c_str(),
                               Korean() ? popUp.text.korean : popUp.text.english));
    EXPECT_EQ(Utf8(Text(GetDlgItem(dialog, IDOK))), Utf8(Say(t::kButtonOk)));
    EXPECT_EQ(Utf8(Text(GetDlgItem(dialog, IDCANCEL))), Utf8(Say(t::kButtonCancel)));
    EXPECT_EQ(IsWindowVisible(GetDlgItem(dialog, IDCANCEL)) != FALSE, popUp.cancel);
    EXPECT_TRUE(IsOwnerDrawn(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(IsOwnerDrawn(GetDlgItem(dialog, IDCANCEL)));
    const RECT client = ClientOnScreen(dialog);
    Pixels shot;
    EXPECT_TRUE(WaitUntil([&] {
      shot = guitest::CaptureScreen(client);
      if (!popUp.row) return shot.At(2, 2) == ToColorref(ui::kStatusReprintColour);
      return RowMismatches(shot, 2, popUp.row) == 0;
    }));
    EXPECT_TRUE(IconDrawn(GetDlgItem(dialog, IDOK)));
    if (popUp.cancel) {
      EXPECT_TRUE(IconDrawn(GetDlgItem(dialog, IDCANCEL)));
    }
    SaveScreenshot(popUp.name, ScreenRect(dialog));
    if (popUp.row == ui::StatusErrorRow) {
      ASSERT_TRUE(TellPrinter("silent off"));
    }
    Click(GetDlgItem(dialog, popUp.cancel ? IDCANCEL : IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  }
  EXPECT_FALSE(Ended());
}

TEST_F(PortrelayGui, ExitAsksFirstAndEndsOnlyOnOk) {
  ASSERT_TRUE(ChooseFromTrayMenu(L'x'));
  HWND exit = VisibleDialog(Say(t::kExitCaption));
  ASSERT_NE(exit, nullptr);
  EXPECT_TRUE(IsTopmost(exit));
  EXPECT_EQ(Utf8(Text(GetDlgItem(exit, 1037))), Utf8(Say(t::kExitQuestion)));
  EXPECT_EQ(Utf8(Text(GetDlgItem(exit, IDOK))), Utf8(Say(t::kButtonOk)));
  EXPECT_EQ(Utf8(Text(GetDlgItem(exit, IDCANCEL))), Utf8(Say(t::kButtonCancel)));
  for (int id : {IDOK, IDCANCEL}) {
    EXPECT_TRUE(IsOwnerDrawn(GetDlgItem(exit, id))) << id;
  }
  const RECT client = ClientOnScreen(exit);
  Pixels shot;
  EXPECT_TRUE(WaitUntil([&] {
    shot = guitest::CaptureScreen(client);
    return RowMismatches(shot, 2, ui::ExitDialogRow) == 0;
  })) << RowMismatches(shot, 2, ui::ExitDialogRow)
      << " rows differ from the gradient";
  for (int id : {IDOK, IDCANCEL}) EXPECT_TRUE(IconDrawn(GetDlgItem(exit, id))) << id;
  SaveScreenshot("exit_dialog", ScreenRect(exit));

  Click(GetDlgItem(exit, IDCANCEL));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(exit); }));
  EXPECT_FALSE(Ended());
  EXPECT_TRUE(Hidden());
  EXPECT_TRUE(OneIcon());

  ASSERT_TRUE(ChooseFromTrayMenu(L'x'));
  exit = VisibleDialog(Say(t::kExitCaption));
  ASSERT_NE(exit, nullptr);
  Click(GetDlgItem(exit, IDOK));
  ASSERT_EQ(WaitForSingleObject(g.process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(g.process.hProcess, &code);
  EXPECT_EQ(code, 0u);
  const int icons = WineTrayIcons();
  if (icons >= 0) {
    EXPECT_TRUE(WaitUntil([] { return WineTrayIcons() == g.baselineIcons; }));
  }
}

}  // namespace
