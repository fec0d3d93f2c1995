// The painted backgrounds of portrelay's windows, as colours per pixel column
// or row (integer division, as the windows have always been painted). The
// Win32 windows fill one-pixel bands with these; the GUI test reads the
// pixels back and compares them with the same formulas.
#pragma once

#include <cstdint>

namespace ui {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// Main window, column x of a client area `width` pixels wide: from
// RGB(217, 236, 235) at the left towards RGB(255, 255, 235).
Rgb MainWindowColumn(int x, int width);
// Settings dialog, row y of a client area `height` pixels high: the main
// window's colours from top to bottom.
Rgb SettingsDialogRow(int y, int height);
// InfoDialog, row y of `height`: grey rising to RGB(255, 255, 235).
Rgb InfoDialogRow(int y, int height);
// ExitDialog, row y of `height`: dark red towards RGB(255, 30, 50).
Rgb ExitDialogRow(int y, int height);
// Status pop-up rows: green for Normal, red for Error.
Rgb StatusNormalRow(int y, int height);
Rgb StatusErrorRow(int y, int height);
// The Reprint pop-up is one flat colour.
inline constexpr Rgb kStatusReprintColour{0, 191, 255};

}  // namespace ui
