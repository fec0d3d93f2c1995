// ExitDialog: dark red rising to bright red, topmost so that no other window
// hides the question, OK and Cancel as image buttons.
#include "ui/win32/exit_dialog.h"

#include "core/texts.h"
#include "ui/main_window.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/resource.h"

namespace ui::win32 {
namespace {

struct ExitDialogState {
  platform::System* system = nullptr;
  unsigned codePage = 0;
  widgets::ImageButton ok;
  widgets::ImageButton cancel;
};

void InitExitDialog(HWND dialog, ExitDialogState& state) {
  MakeTopmost(dialog);
  if (state.codePage != core::kKoreanCodePage) {
    auto say = [&](const core::Text& t) { return core::Pick(*state.system, state.codePage, t); };
    SetWindowTextA(dialog, say(core::texts::kExitCaption).c_str());
    SetDlgItemTextA(dialog, IDC_EXIT_TEXT, say(core::texts::kExitQuestion).c_str());
    SetDlgItemTextA(dialog, IDOK, say(core::texts::kButtonOk).c_str());
    SetDlgItemTextA(dialog, IDCANCEL, say(core::texts::kButtonCancel).c_str());
  }
  SetUpImageButton(dialog, state.ok, {IDOK, IDI_OK}, DialogFont(dialog));
  SetUpImageButton(dialog, state.cancel, {IDCANCEL, IDI_CANCEL}, DialogFont(dialog));
  GrowToFitText(dialog, IDC_EXIT_TEXT);
  CentreOnScreen(dialog);
}

INT_PTR CALLBACK ExitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = DialogState<ExitDialogState>(dialog, message, lParam);
  if (message == WM_INITDIALOG) {
    InitExitDialog(dialog, *state);
    return TRUE;
  }
  bool handled = false;
  const INT_PTR result =
      GradientDialogMessage(dialog, message, wParam, lParam, ExitDialogRow, &handled);
  return handled ? result : FALSE;
}

}  // namespace

int ShowExitDialog(HINSTANCE instance, HWND owner, platform::System& system, unsigned codePage) {
  ExitDialogState state;
  state.system = &system;
  state.codePage = codePage;
  const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_EXIT_DIALOG), owner,
                                         ExitDialogProc, reinterpret_cast<LPARAM>(&state));
  return result == IDOK ? kExitConfirmed : kExitCancelled;
}

}  // namespace ui::win32
