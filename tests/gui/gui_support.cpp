// Shared helpers of the Windows GUI tests.
#include "tests/gui/gui_support.h"

#include <cstdio>

namespace guitest {

std::wstring Wide(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring text(n > 0 ? n : 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), n);
  text.resize(n > 0 ? n - 1 : 0);
  return text;
}

std::string Utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), n, nullptr, nullptr);
  text.resize(n > 0 ? n - 1 : 0);
  return text;
}

Pixels Capture(int width, int height, const std::function<void(HDC)>& draw) {
  Pixels p{width, height, std::vector<COLORREF>(static_cast<size_t>(width) * height)};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, dib);
  draw(memory);
  GdiFlush();
  const auto* raw = static_cast<const DWORD*>(bits);
  for (size_t i = 0; i < p.colours.size(); ++i) {
    p.colours[i] = RGB((raw[i] >> 16) & 0xFF, (raw[i] >> 8) & 0xFF, raw[i] & 0xFF);
  }
  SelectObject(memory, old);
  DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return p;
}

Pixels CaptureScreen(const RECT& area) {
  return Capture(area.right - area.left, area.bottom - area.top, [&](HDC dc) {
    HDC screen = GetDC(nullptr);
    BitBlt(dc, 0, 0, area.right - area.left, area.bottom - area.top, screen, area.left, area.top,
           SRCCOPY);
    ReleaseDC(nullptr, screen);
  });
}

bool SaveBmp(const Pixels& p, const std::string& path) {
  const int rowBytes = (p.width * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{sizeof info, p.width, p.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + rowBytes * p.height;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info, sizeof info, 1, out);
  std::vector<BYTE> row(rowBytes, 0);
  for (int y = p.height - 1; y >= 0; --y) {
    for (int x = 0; x < p.width; ++x) {
      const COLORREF c = p.At(x, y);
      row[x * 3] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
    }
    std::fwrite(row.data(), 1, row.size(), out);
  }
  return std::fclose(out) == 0;
}

}  // namespace guitest
