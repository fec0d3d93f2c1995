// StatusDialog: green for normal, red for errors, blue for the reprint
// question (the only kind with a Cancel button). It rises to topmost once, one
// second after it is shown, and stays until the user answers.
#include "ui/win32/status_dialog.h"

#include "core/texts.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/resource.h"

namespace ui::win32 {
namespace {

constexpr UINT_PTR kTopmostTimer = 1;
// Not a look of the dialog: ends it when the caller's stop request comes.
constexpr UINT_PTR kDismissTimer = 2;

struct StatusDialogState {
  std::string text;
  int kind = core::kStatusNormal;
  const std::atomic<int>* dismiss = nullptr;
  platform::System* system = nullptr;
  HFONT boldFont = nullptr;
  // OK (icon 140) and Cancel (icon 141); they outlive the dialog's window.
  widgets::ImageButton ok;
  widgets::ImageButton cancel;
};

void PaintBackground(HWND dialog, HDC dc, int kind) {
  switch (kind) {
    case core::kStatusNormal:
      PaintBands(dialog, dc, Bands::kRows, StatusNormalRow);
      break;
    case core::kStatusError:
      PaintBands(dialog, dc, Bands::kRows, StatusErrorRow);
      break;
    case core::kStatusReprint:
      PaintFlat(dialog, dc, kStatusReprintColour);
      break;
    default:
      break;
  }
}

void InitStatusDialog(HWND dialog, StatusDialogState& state) {
  CentreOnScreen(dialog);

  platform::System& system = *state.system;
  const unsigned codePage = system.AnsiCodePage();
  if (codePage != core::kKoreanCodePage) {
    SetDlgItemTextA(dialog, IDOK, core::Pick(system, codePage, core::texts::kButtonOk).c_str());
    SetDlgItemTextA(dialog, IDCANCEL,
                    core::Pick(system, codePage, core::texts::kButtonCancel).c_str());
  }
  const core::Text* caption = nullptr;
  switch (state.kind) {
    case core::kStatusNormal:
      caption = &core::texts::kStatusCaptionNormal;
      break;
    case core::kStatusError:
      caption = &core::texts::kStatusCaptionError;
      break;
    case core::kStatusReprint:
      caption = &core::texts::kStatusCaptionReprint;
      break;
    default:
      break;
  }
  if (caption) SetWindowTextA(dialog, core::Pick(system, codePage, *caption).c_str());
  if (state.kind == core::kStatusReprint) ShowWindow(GetDlgItem(dialog, IDCANCEL), SW_SHOW);
  SetDlgItemTextA(dialog, IDC_STATUS_TEXT, state.text.c_str());
  SetTimer(dialog, kTopmostTimer, 1000, nullptr);
  if (state.dismiss) SetTimer(dialog, kDismissTimer, 100, nullptr);

  HFONT buttonFont = DialogFont(dialog);
  if (state.kind == core::kStatusReprint) {
    LOGFONTA lf{};
    GetObjectA(buttonFont, sizeof lf, &lf);
    lf.lfHeight = 18;
    lf.lfWeight = FW_BOLD;
    state.boldFont = CreateFontIndirectA(&lf);
    buttonFont = state.boldFont;
    SendDlgItemMessageA(dialog, IDC_STATUS_TEXT, WM_SETFONT,
                        reinterpret_cast<WPARAM>(state.boldFont), TRUE);
  }
  SetUpImageButton(dialog, state.ok, {IDOK, IDI_OK}, buttonFont);
  SetUpImageButton(dialog, state.cancel, {IDCANCEL, IDI_CANCEL}, buttonFont);
  GrowToFitText(dialog, IDC_STATUS_TEXT);
  CentreOnScreen(dialog);
}

INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<StatusDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      state = reinterpret_cast<StatusDialogState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      InitStatusDialog(dialog, *state);
      return TRUE;
    case WM_TIMER:
      if (wParam == kDismissTimer) {
        if (state && state->dismiss && state->dismiss->load()) EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      if (wParam == kTopmostTimer) KillTimer(dialog, kTopmostTimer);
      return TRUE;
    case WM_ERASEBKGND:
      if (state) PaintBackground(dialog, reinterpret_cast<HDC>(wParam), state->kind);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          StaticOnGradient(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
    case WM_DESTROY:
      if (state && state->boldFont) {
        DeleteObject(state->boldFont);
        state->boldFont = nullptr;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

int StatusDialogPrompt::Show(const std::string& text, int kind, const std::atomic<int>* dismiss) {
  StatusDialogState state;
  state.text = text;
  state.kind = kind;
  state.dismiss = dismiss;
  state.system = &system_;
  INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_STATUS_DIALOG), nullptr,
                                   StatusDialogProc, reinterpret_cast<LPARAM>(&state));
  return result == IDOK ? core::kAnswerOk : core::kAnswerCancel;
}

}  // namespace ui::win32
