// What the Windows GUI tests share: UTF-8 texts as the wide texts windows
// hold, pictures read back from a device context or the screen, and BMP files
// for the screenshots their drivers turn into PNG.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace guitest {

std::wstring Wide(const char* utf8);
std::string Utf8(const std::wstring& wide);

// A 32-bit picture read back from a DC, as COLORREF values.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> colours;
  COLORREF At(int x, int y) const { return colours[y * width + x]; }
};

// Runs `draw` on a memory DC of the given size and reads the pixels back.
Pixels Capture(int width, int height, const std::function<void(HDC)>& draw);
// What the screen shows in the rectangle (screen coordinates).
Pixels CaptureScreen(const RECT& area);
bool SaveBmp(const Pixels& p, const std::string& path);

}  // namespace guitest
