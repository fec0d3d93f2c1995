// Character shapes for the receipt: a monospace face for single-byte text
// and a Korean face for the double-byte characters of code page 949, found
// through fontconfig and drawn by FreeType.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "tools/printer-sim/render/gray_image.h"

namespace printersim {

// A drawn character: its coverage and where it sits in its cell.
struct Glyph {
  Mask mask;
  int x = 0;  // Offset of the mask from the cell's top left corner.
  int y = 0;
};

class GlyphSource {
 public:
  static constexpr const char* kTextFamily = "DejaVu Sans Mono";
  static constexpr const char* kKoreanFamily = "NanumGothic";
  static constexpr size_t kMaxCached = 4096;

  GlyphSource();
  ~GlyphSource();
  GlyphSource(const GlyphSource&) = delete;
  GlyphSource& operator=(const GlyphSource&) = delete;

  // Finds and opens both faces. 0, or -1 with *error naming what is missing.
  int Load(std::string* error);
  bool loaded() const { return text_face_ != nullptr && korean_face_ != nullptr; }

  // `code_point` fitted to a cell of cell_w x cell_h dots; `wide` marks a
  // double-byte character (the Korean face). A character no face has comes
  // out as an outlined box; nullptr only when no font is loaded.
  std::shared_ptr<const Glyph> Get(char32_t code_point, int cell_w, int cell_h, bool wide);

 private:
  std::shared_ptr<const Glyph> Draw(char32_t code_point, int cell_w, int cell_h, bool wide);

  struct Library;
  std::unique_ptr<Library> library_;
  void* text_face_ = nullptr;  // FT_Face, kept opaque to the users.
  void* korean_face_ = nullptr;
  std::unordered_map<uint64_t, std::shared_ptr<const Glyph>> cache_;
};

}  // namespace printersim
