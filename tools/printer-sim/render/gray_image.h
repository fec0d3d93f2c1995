// 8-bit grey pictures: the printed receipt (255 white, 0 black) and the
// coverage masks drawn onto it (0 nothing, 255 full ink), with PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace printersim {

struct GrayImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // Row after row, `width` bytes each.

  uint8_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Ink coverage of a glyph, a symbol or a bit image.
struct Mask {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> alpha;

  Mask() = default;
  Mask(int w, int h) : width(w), height(h), alpha(static_cast<size_t>(w) * h, 0) {}
  uint8_t& At(int x, int y) { return alpha[static_cast<size_t>(y) * width + x]; }
  uint8_t At(int x, int y) const { return alpha[static_cast<size_t>(y) * width + x]; }
};

// Writes an 8-bit greyscale PNG. 0, or -1 with *error.
int WritePng(const std::string& path, const GrayImage& image, std::string* error);
// Reads a PNG of any colour type as 8-bit grey. 0, or -1 with *error.
int ReadPng(const std::string& path, GrayImage* image, std::string* error);

}  // namespace printersim
