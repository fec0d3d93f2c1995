// Gradient backgrounds and the static-text colour rule.
#include "ui/win32/painting.h"

namespace ui::win32 {
namespace {

COLORREF ToColorref(Rgb c) { return RGB(c.r, c.g, c.b); }

// Runs `paint` on a memory bitmap of the client size, then copies it.
template <typename Paint>
void PaintOffScreen(HWND window, HDC dc, Paint paint) {
  RECT client;
  GetClientRect(window, &client);
  if (client.right <= 0 || client.bottom <= 0) return;
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  paint(memory, client.right, client.bottom);
  BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

void FillBand(HDC dc, const RECT& band, Rgb colour) {
  // Faster than a brush per band and the same pixels.
  SetBkColor(dc, ToColorref(colour));
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &band, nullptr, 0, nullptr);
}

}  // namespace

void PaintBands(HWND window, HDC dc, Bands bands, BandColour colour) {
  PaintOffScreen(window, dc, [&](HDC memory, int width, int height) {
    if (bands == Bands::kColumns) {
      for (int x = 0; x < width; ++x) FillBand(memory, RECT{x, 0, x + 1, height}, colour(x, width));
    } else {
      for (int y = 0; y < height; ++y)
        FillBand(memory, RECT{0, y, width, y + 1}, colour(y, height));
    }
  });
}

void PaintFlat(HWND window, HDC dc, Rgb colour) {
  PaintOffScreen(window, dc, [&](HDC memory, int width, int height) {
    FillBand(memory, RECT{0, 0, width, height}, colour);
  });
}

HBRUSH StaticOnGradient(HDC dc, HWND control) {
  char cls[16] = {};
  GetClassNameA(control, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

void CentreOnScreen(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MakeTopmost(HWND window) {
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace ui::win32
