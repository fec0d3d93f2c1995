// Shared dialog pieces.
#include "ui/win32/dialog_parts.h"

#include <string>

namespace ui::win32 {

HFONT DialogFont(HWND dialog) {
  return reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
}

void SetUpImageButton(HWND dialog, widgets::ImageButton& button, ButtonIcon which, HFONT font) {
  button.Attach(dialog, which.control);
  SendMessageA(button.Window(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  button.LoadIcons(which.icon, 32, 32, 0, 32, 32, 0, 32, 32);
  button.SetFlatLook(false, true);
}

namespace {

struct MoveDown {
  HWND dialog;
  int below;  // client y from which controls move
  int by;
};

BOOL CALLBACK MoveControlDown(HWND control, LPARAM context) {
  const auto* move = reinterpret_cast<const MoveDown*>(context);
  if (GetParent(control) != move->dialog) return TRUE;
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, move->dialog, reinterpret_cast<POINT*>(&r), 2);
  if (r.top >= move->below) {
    SetWindowPos(control, nullptr, r.left, r.top + move->by, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return TRUE;
}

}  // namespace

void GrowToFitText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return;
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(control, text.data(), length + 1);

  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT needed{0, 0, r.right - r.left, 0};
  DrawTextW(dc, text.c_str(), length, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(control, dc);

  const int more = needed.bottom - (r.bottom - r.top);
  if (more <= 0) return;
  MoveDown move{dialog, r.bottom, more};
  EnumChildWindows(dialog, MoveControlDown, reinterpret_cast<LPARAM>(&move));
  SetWindowPos(control, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + more,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT frame;
  GetWindowRect(dialog, &frame);
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + more,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR GradientDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                              BandColour rows, bool* handled) {
  *handled = true;
  switch (message) {
    case WM_ERASEBKGND:
      PaintBands(dialog, reinterpret_cast<HDC>(wParam), Bands::kRows, rows);
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
    default:
      break;
  }
  *handled = false;
  return FALSE;
}

}  // namespace ui::win32
