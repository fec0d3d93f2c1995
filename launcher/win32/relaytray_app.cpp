// relaytray.exe: the launcher dialog (template 102) over LauncherDialog, its
// status dialog (130) and its information dialog (100).
#include <windows.h>

#include <commctrl.h>

#include "launcher/launcher_dialog.h"
#include "launcher/launcher_texts.h"
#include "launcher/win32/resource.h"
#include "platform/platform.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/painting.h"

namespace {

using ui::win32::DialogFont;
using ui::win32::MakeTopmost;
using ui::win32::SetUpImageButton;

constexpr UINT kAboutCommand = 16;
constexpr UINT_PTR kTopmostTimer = 1;

// ---- The launcher status dialog --------------------------------------------

struct StatusState {
  int kind = launcher::kLaunchError;
  std::string message;
  platform::System* system = nullptr;
  widgets::ImageButton ok;
};

// Green rows for a start, red rows for a failure, as the relay's own pop-up.
void PaintStatusBackground(HWND dialog, HDC dc, int kind) {
  ui::win32::PaintBands(dialog, dc, ui::win32::Bands::kRows,
                        kind == launcher::kLaunchNormal ? ui::StatusNormalRow : ui::StatusErrorRow);
}

INT_PTR CALLBACK StatusProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<StatusState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<StatusState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      ui::win32::CentreOnScreen(dialog);
      platform::System& system = *state->system;
      const unsigned codePage = system.AnsiCodePage();
      SetDlgItemTextA(dialog, IDOK,
                      core::Pick(system, codePage, launcher::texts::kStatusOk).c_str());
      SetWindowTextA(dialog,
                     core::Pick(system, codePage, launcher::StatusCaption(state->kind)).c_str());
      SetDlgItemTextA(dialog, IDC_STATUS_TEXT, state->message.c_str());
      SetTimer(dialog, kTopmostTimer, 1000, nullptr);
      SetUpImageButton(dialog, state->ok, {IDOK, IDI_OK}, DialogFont(dialog));
      return TRUE;
    }
    case WM_TIMER:
      MakeTopmost(dialog);
      KillTimer(dialog, kTopmostTimer);
      return TRUE;
    case WM_ERASEBKGND:
      if (!state) return FALSE;
      PaintStatusBackground(dialog, reinterpret_cast<HDC>(wParam), state->kind);
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(ui::win32::StaticOnGradient(reinterpret_cast<HDC>(wParam),
                                                                   reinterpret_cast<HWND>(lParam)));
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// ---- The information dialog ------------------------------------------------

INT_PTR CALLBACK InfoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      MakeTopmost(dialog);
      platform::System& system = *reinterpret_cast<platform::System*>(lParam);
      const unsigned codePage = system.AnsiCodePage();
      if (codePage != core::kKoreanCodePage) {
        SetWindowTextA(dialog, core::Pick(system, codePage, launcher::texts::kInfoCaption).c_str());
        SetDlgItemTextA(dialog, IDC_INFO_TEXT,
                        core::Pick(system, codePage, launcher::texts::kInfoVersion).c_str());
        SetDlgItemTextA(dialog, IDOK,
                        core::Pick(system, codePage, launcher::texts::kInfoOk).c_str());
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// ---- The launcher dialog ---------------------------------------------------

class LauncherWindow : public launcher::LauncherView {
 public:
  LauncherWindow(HINSTANCE instance, platform::Platform& platform)
      : instance_(instance), platform_(platform), dialog_(platform, *this) {}

  void SetCaption(const std::string& text) override { SetWindowTextA(window_, text.c_str()); }
  void SetControlText(int control, const std::string& text) override {
    SetDlgItemTextA(window_, control, text.c_str());
  }
  void ShowStatus(int kind, const std::string& message) override {
    DropQueuedInput();
    StatusState state;
    state.kind = kind;
    state.message = message;
    state.system = platform_.system;
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_LAUNCHER_STATUS), window_, StatusProc,
                    reinterpret_cast<LPARAM>(&state));
  }
  void PostClose() override { PostMessageA(window_, WM_CLOSE, 0, 0); }

  void OnInit(HWND window) {
    window_ = window;
    char about[128] = {};
    LoadStringA(instance_, IDS_ABOUTBOX, about, sizeof about);
    if (about[0]) {
      HMENU menu = GetSystemMenu(window_, FALSE);
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, kAboutCommand, about);
    }
    icon_ = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_PROGRAM));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    MakeTopmost(window_);
    SetUpImageButton(window_, start_, {IDC_START, IDI_START}, DialogFont(window_));
    SetUpImageButton(window_, exit_, {IDOK, IDI_EXIT}, DialogFont(window_));
    dialog_.OnInitDialog();
  }

  void OnStart() { dialog_.OnStartClicked(); }

  void ShowInformation() {
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_LAUNCHER_INFO), window_, InfoProc,
                    reinterpret_cast<LPARAM>(platform_.system));
  }

  // Without a minimise box the launcher is rarely minimised; when it is, its
  // icon is drawn in the middle.
  bool PaintIcon() {
    if (!IsIconic(window_)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window_, &client);
    DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
             (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
    EndPaint(window_, &paint);
    return true;
  }

 private:
  // Clicks and keys that queued up while the start was being handed over
  // belong to that start: they must not start the relay once more.
  static void DropQueuedInput() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
  }

  HINSTANCE instance_;
  platform::Platform& platform_;
  launcher::LauncherDialog dialog_;
  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  widgets::ImageButton start_;
  widgets::ImageButton exit_;
};

INT_PTR CALLBACK LauncherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* launcher = reinterpret_cast<LauncherWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      reinterpret_cast<LauncherWindow*>(lParam)->OnInit(window);
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != kAboutCommand || !launcher) return FALSE;
      launcher->ShowInformation();
      return TRUE;
    case WM_PAINT:
      return launcher && launcher->PaintIcon() ? TRUE : FALSE;
    case WM_COMMAND:
      if (!launcher || HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_START:
          launcher->OnStart();
          return TRUE;
        case IDOK:
        case IDCANCEL:
          EndDialog(window, LOWORD(wParam));
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      EndDialog(window, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  LauncherWindow launcher(instance, platform::Native());
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_LAUNCHER), nullptr, LauncherProc,
                  reinterpret_cast<LPARAM>(&launcher));
  return 0;
}
