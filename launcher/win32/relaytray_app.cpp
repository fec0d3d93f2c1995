// relaytray.exe: the launcher dialog (template 102) over LauncherDialog and its
// status dialog (130); the information dialog (100) and the rest it shares
// with relayremove.exe are ui/win32/program_dialog.h's.
#include <windows.h>

#include "launcher/launcher_dialog.h"
#include "launcher/launcher_texts.h"
#include "launcher/win32/resource.h"
#include "platform/platform.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/painting.h"
#include "ui/win32/program_dialog.h"

namespace {

using ui::win32::DialogFont;
using ui::win32::MakeTopmost;
using ui::win32::SetUpImageButton;

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

// ---- The launcher dialog ---------------------------------------------------

class LauncherWindow : public ui::win32::ProgramDialog, public launcher::LauncherView {
 public:
  LauncherWindow(HINSTANCE instance, platform::Platform& platform)
      : ProgramDialog(instance, platform,
                      {IDD_LAUNCHER, IDD_LAUNCHER_INFO, IDC_INFO_TEXT, IDS_ABOUTBOX, IDI_PROGRAM},
                      {launcher::texts::kInfoCaption, launcher::texts::kInfoVersion,
                       launcher::texts::kInfoOk}),
        dialog_(platform, *this) {}

  void SetCaption(const std::string& text) override { SetWindowTextA(window(), text.c_str()); }
  void SetControlText(int control, const std::string& text) override {
    SetDlgItemTextA(window(), control, text.c_str());
  }
  void ShowStatus(int kind, const std::string& message) override {
    DropQueuedInput();
    StatusState state;
    state.kind = kind;
    state.message = message;
    state.system = platform().system;
    DialogBoxParamA(instance(), MAKEINTRESOURCEA(IDD_LAUNCHER_STATUS), window(), StatusProc,
                    reinterpret_cast<LPARAM>(&state));
  }
  void PostClose() override { PostMessageA(window(), WM_CLOSE, 0, 0); }

 protected:
  void OnInit() override {
    MakeTopmost(window());
    SetUpImageButton(window(), start_, {IDC_START, IDI_START}, DialogFont(window()));
    SetUpImageButton(window(), exit_, {IDOK, IDI_EXIT}, DialogFont(window()));
    dialog_.OnInitDialog();
  }

  bool OnClicked(int control) override {
    if (control != IDC_START) return false;
    dialog_.OnStartClicked();
    return true;
  }

  // Without a minimise box the launcher is rarely minimised; when it is, its
  // icon is drawn in the middle.
  INT_PTR OnMessage(UINT message, WPARAM, LPARAM, bool* handled) override {
    *handled = message == WM_PAINT && IsIconic(window());
    if (!*handled) return FALSE;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window(), &paint);
    DrawMinimisedIcon(dc);
    EndPaint(window(), &paint);
    return TRUE;
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

  launcher::LauncherDialog dialog_;
  widgets::ImageButton start_;
  widgets::ImageButton exit_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  LauncherWindow launcher(instance, platform::Native());
  return launcher.Run();
}
