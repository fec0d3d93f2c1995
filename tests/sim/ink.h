// Measuring the rendered receipts: where the ink is.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "tools/printer-sim/render/gray_image.h"

namespace printersim {

struct InkBox {
  int left = 0, top = 0, right = -1, bottom = -1;  // Inclusive; right < left when empty.
  bool empty() const { return right < left; }
  int width() const { return empty() ? 0 : right - left + 1; }
  int height() const { return empty() ? 0 : bottom - top + 1; }
};

inline bool Dark(const GrayImage& image, int x, int y) { return image.At(x, y) < 128; }

// Bounding box of the dark pixels in [x0, x1) x [y0, y1) (whole image by default).
inline InkBox FindInk(const GrayImage& image, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
  if (x1 < 0) x1 = image.width;
  if (y1 < 0) y1 = image.height;
  InkBox box{x1, y1, -1, -1};
  for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y) {
    for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x) {
      if (!Dark(image, x, y)) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
    }
  }
  if (box.right < 0) return InkBox{};
  return box;
}

inline size_t CountInk(const GrayImage& image, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
  if (x1 < 0) x1 = image.width;
  if (y1 < 0) y1 = image.height;
  size_t n = 0;
  for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y) {
    for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x) n += Dark(image, x, y);
  }
  return n;
}

// Runs of rows holding ink, as [first, last] pairs from the top.
inline std::vector<std::pair<int, int>> InkBands(const GrayImage& image) {
  std::vector<std::pair<int, int>> bands;
  for (int y = 0; y < image.height; ++y) {
    bool any = false;
    for (int x = 0; x < image.width && !any; ++x) any = Dark(image, x, y);
    if (!any) continue;
    if (!bands.empty() && bands.back().second == y - 1) {
      bands.back().second = y;
    } else {
      bands.push_back({y, y});
    }
  }
  return bands;
}

}  // namespace printersim
