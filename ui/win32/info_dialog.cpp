// InfoDialog: grey rising to pale yellow, topmost, closed by its OK button.
#include "ui/win32/info_dialog.h"

#include "core/texts.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/resource.h"

namespace ui::win32 {
namespace {

struct InfoDialogState {
  platform::System* system = nullptr;
  unsigned codePage = 0;
};

void InitInfoDialog(HWND dialog, InfoDialogState& state) {
  MakeTopmost(dialog);
  if (state.codePage == core::kKoreanCodePage) return;
  auto say = [&](const core::Text& t) { return core::Pick(*state.system, state.codePage, t); };
  SetWindowTextA(dialog, say(core::texts::kInfoCaption).c_str());
  SetDlgItemTextA(dialog, IDC_INFO_DESCRIPTION, say(core::texts::kInfoDescription).c_str());
  SetDlgItemTextA(dialog, IDOK, say(core::texts::kInfoOk).c_str());
}

INT_PTR CALLBACK InfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = DialogState<InfoDialogState>(dialog, message, lParam);
  if (message == WM_INITDIALOG) {
    InitInfoDialog(dialog, *state);
    return TRUE;
  }
  bool handled = false;
  const INT_PTR result =
      GradientDialogMessage(dialog, message, wParam, lParam, InfoDialogRow, &handled);
  return handled ? result : FALSE;
}

}  // namespace

void ShowInfoDialog(HINSTANCE instance, HWND owner, platform::System& system, unsigned codePage) {
  InfoDialogState state{&system, codePage};
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_INFO_DIALOG), owner, InfoDialogProc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace ui::win32
