// Pieces portrelay's dialogs share: the standard set-up of an image button
// and the messages of a dialog painted with a row gradient.
#pragma once

#include <windows.h>

#include "ui/win32/painting.h"
#include "widgets/win32/image_button.h"

namespace ui::win32 {

// A button of a dialog and the icon resource it shows.
struct ButtonIcon {
  int control;
  int icon;
};

// Attach, the given font, the 32 x 32 icon for every look, the raised frame.
void SetUpImageButton(HWND dialog, widgets::ImageButton& button, ButtonIcon which, HFONT font);
HFONT DialogFont(HWND dialog);

// Background, static colours and the end by OK or Cancel of a dialog painted
// with row gradient `rows`. Sets *handled and returns the dialog procedure's
// result when the message was one of them.
INT_PTR GradientDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                              BandColour rows, bool* handled);

// When the static text `id` needs more lines than its control has (an
// English text in a wider font than the template was laid out for), the
// control grows to fit and everything below it, the dialog included, moves
// down by as much, so that no text is cut. Otherwise nothing changes.
void GrowToFitText(HWND dialog, int id);

// The state a dialog procedure keeps in DWLP_USER, stored at initialisation.
template <typename State>
State* DialogState(HWND dialog, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return reinterpret_cast<State*>(lParam);
  }
  return reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

}  // namespace ui::win32
