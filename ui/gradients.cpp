// Background colours of portrelay's windows.
#include "ui/gradients.h"

#include <algorithm>

namespace ui {
namespace {

// Each channel keeps its low eight bits, as a colour value of the windowing
// API does.
Rgb Channels(int r, int g, int b) {
  return {static_cast<std::uint8_t>(r & 0xFF), static_cast<std::uint8_t>(g & 0xFF),
          static_cast<std::uint8_t>(b & 0xFF)};
}

// The position's share of `by` over an extent of at least one pixel.
int Step(int position, int extent, int by) { return by * position / std::max(extent, 1); }

}  // namespace

Rgb MainWindowColumn(int x, int width) {
  return Channels(217 + Step(x, width, 38), 236 + Step(x, width, 19), 235);
}

Rgb SettingsDialogRow(int y, int height) {
  return Channels(217 + Step(y, height, 38), 236 + Step(y, height, 19), 235);
}

Rgb InfoDialogRow(int y, int height) {
  return Channels(200 + Step(y, height, 55), 200 + Step(y, height, 55), 200 + Step(y, height, 35));
}

Rgb ExitDialogRow(int y, int height) {
  return Channels(160 + Step(y, height, 95), Step(y, height, 30), Step(y, height, 50));
}

Rgb StatusNormalRow(int y, int height) {
  return Channels(Step(y, height, 30), 127 + Step(y, height, 128), 50 + Step(y, height, 50));
}

Rgb StatusErrorRow(int y, int height) {
  return Channels(127 + Step(y, height, 128), Step(y, height, 30), 50 + Step(y, height, 50));
}

}  // namespace ui
