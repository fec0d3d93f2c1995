// Background colours of portrelay's windows.
#include "ui/gradients.h"

namespace ui {
namespace {

// Each channel keeps its low eight bits, as a colour value of the windowing
// API does; the extent is at least one pixel.
Rgb Channels(int r, int g, int b) {
  return {static_cast<std::uint8_t>(r & 0xFF), static_cast<std::uint8_t>(g & 0xFF),
          static_cast<std::uint8_t>(b & 0xFF)};
}

int Extent(int size) { return size > 0 ? size : 1; }

}  // namespace

Rgb MainWindowColumn(int x, int width) {
  const int w = Extent(width);
  return Channels(217 + 38 * x / w, 236 + 19 * x / w, 235);
}

Rgb InfoDialogRow(int y, int height) {
  const int h = Extent(height);
  return Channels(200 + 55 * y / h, 200 + 55 * y / h, 200 + 35 * y / h);
}

Rgb ExitDialogRow(int y, int height) {
  const int h = Extent(height);
  return Channels(160 + 95 * y / h, 30 * y / h, 50 * y / h);
}

Rgb StatusNormalRow(int y, int height) {
  const int h = Extent(height);
  return Channels(30 * y / h, 127 + 128 * y / h, 50 + 50 * y / h);
}

Rgb StatusErrorRow(int y, int height) {
  const int h = Extent(height);
  return Channels(127 + 128 * y / h, 30 * y / h, 50 + 50 * y / h);
}

}  // namespace ui
