// StatusDialog: green for normal, red for errors, blue for the reprint
// question (the only kind with a Cancel button). It rises to topmost once, one
// second after it is shown, and stays until the user answers.
#include "ui/win32/status_dialog.h"

#include "core/texts.h"
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
};

void PaintBackground(HWND dialog, HDC dc, int kind) {
  RECT client;
  GetClientRect(dialog, &client);
  const int h = client.bottom > 0 ? client.bottom : 1;
  if (kind == core::kStatusReprint) {
    HBRUSH brush = CreateSolidBrush(RGB(0, 191, 255));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    return;
  }
  if (kind != core::kStatusNormal && kind != core::kStatusError) return;
  for (int y = 0; y < client.bottom; ++y) {
    COLORREF colour = kind == core::kStatusNormal
                          ? RGB(30 * y / h, 127 + 128 * y / h, 50 + 50 * y / h)
                          : RGB(127 + 128 * y / h, 30 * y / h, 50 + 50 * y / h);
    HBRUSH brush = CreateSolidBrush(colour);
    RECT row{0, y, client.right, y + 1};
    FillRect(dc, &row, brush);
    DeleteObject(brush);
  }
}

void InitStatusDialog(HWND dialog, StatusDialogState& state) {
  RECT r;
  GetWindowRect(dialog, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

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

  HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  HFONT buttonFont = dialogFont;
  if (state.kind == core::kStatusReprint) {
    LOGFONTA lf{};
    GetObjectA(dialogFont, sizeof lf, &lf);
    lf.lfHeight = 18;
    lf.lfWeight = FW_BOLD;
    state.boldFont = CreateFontIndirectA(&lf);
    buttonFont = state.boldFont;
    SendDlgItemMessageA(dialog, IDC_STATUS_TEXT, WM_SETFONT,
                        reinterpret_cast<WPARAM>(state.boldFont), TRUE);
  }
  SendDlgItemMessageA(dialog, IDOK, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont), TRUE);
  SendDlgItemMessageA(dialog, IDCANCEL, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont), TRUE);
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
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
      return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
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
