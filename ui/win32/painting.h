// Painting shared by portrelay's windows: gradient backgrounds drawn
// off-screen and copied in one block, the rule that puts static texts
// straight onto them, and the placing of dialogs.
#pragma once

#include <windows.h>

#include "ui/gradients.h"

namespace ui::win32 {

enum class Bands { kColumns, kRows };

// The colour of band `index` of `extent` pixels (a column of the width or a
// row of the height).
using BandColour = Rgb (*)(int index, int extent);

// Fills the window's client area with one-pixel bands in a bitmap and copies
// the bitmap to `dc` in one block, so that the window never shows half a
// gradient.
void PaintBands(HWND window, HDC dc, Bands bands, BandColour colour);
// The same with one flat colour.
void PaintFlat(HWND window, HDC dc, Rgb colour);

// The shared control-colour rule, for WM_CTLCOLORSTATIC: a static control
// gets a transparent background, black text and the hollow brush (returned);
// any other control (a read-only edit, a group box) keeps the default, and
// the result is null.
HBRUSH StaticOnGradient(HDC dc, HWND control);

void CentreOnScreen(HWND window);
// Topmost without moving, sizing or activating the window.
void MakeTopmost(HWND window);

}  // namespace ui::win32
