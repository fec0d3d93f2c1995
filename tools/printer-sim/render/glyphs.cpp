// FreeType rendering of single characters into coverage masks.
#include "tools/printer-sim/render/glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace printersim {
namespace {

// The file fontconfig picks for `family`, only when it really is that family
// (fontconfig otherwise answers with its best substitute).
int FindFontFile(const char* family, std::string* file, int* index, std::string* error) {
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (config == nullptr) {
    *error = "fontconfig could not be initialised";
    return -1;
  }
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  int rc = -1;
  if (match != nullptr) {
    bool same_family = false;
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
      if (strcasecmp(reinterpret_cast<const char*>(name), family) == 0) same_family = true;
    }
    FcChar8* path = nullptr;
    if (same_family && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
      *file = reinterpret_cast<const char*>(path);
      if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
      rc = 0;
    }
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  if (rc != 0) *error = std::string("font \"") + family + "\" not found";
  return rc;
}

FT_Face Face(void* face) { return static_cast<FT_Face>(face); }

// An outlined box for characters no font has, as printers print them.
std::shared_ptr<const Glyph> Box(int cell_w, int cell_h) {
  auto glyph = std::make_shared<Glyph>();
  const int w = std::max(cell_w - 4, 1);
  const int h = std::max(cell_h * 2 / 3, 1);
  glyph->mask = Mask(w, h);
  for (int x = 0; x < w; ++x) glyph->mask.At(x, 0) = glyph->mask.At(x, h - 1) = 255;
  for (int y = 0; y < h; ++y) glyph->mask.At(0, y) = glyph->mask.At(w - 1, y) = 255;
  glyph->x = (cell_w - w) / 2;
  glyph->y = (cell_h - h) / 2;
  return glyph;
}

}  // namespace

struct GlyphSource::Library {
  FT_Library ft = nullptr;
};

GlyphSource::GlyphSource() : library_(std::make_unique<Library>()) {}

GlyphSource::~GlyphSource() {
  if (text_face_ != nullptr) FT_Done_Face(Face(text_face_));
  if (korean_face_ != nullptr) FT_Done_Face(Face(korean_face_));
  if (library_->ft != nullptr) FT_Done_FreeType(library_->ft);
}

int GlyphSource::Load(std::string* error) {
  if (loaded()) return 0;
  if (library_->ft == nullptr && FT_Init_FreeType(&library_->ft) != 0) {
    *error = "FreeType could not be initialised";
    return -1;
  }
  struct Want {
    const char* family;
    const char* package;
    void** face;
  };
  const Want wants[] = {{kTextFamily, "fonts-dejavu-core", &text_face_},
                        {kKoreanFamily, "fonts-nanum", &korean_face_}};
  for (const Want& want : wants) {
    if (*want.face != nullptr) continue;
    std::string file;
    int index = 0;
    if (FindFontFile(want.family, &file, &index, error) != 0) {
      *error += std::string(" (install ") + want.package + ")";
      return -1;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library_->ft, file.c_str(), index, &face) != 0) {
      *error = "FreeType cannot open " + file;
      return -1;
    }
    *want.face = face;
  }
  return 0;
}

std::shared_ptr<const Glyph> GlyphSource::Get(char32_t code_point, int cell_w, int cell_h,
                                              bool wide) {
  if (!loaded()) return nullptr;
  cell_w = std::clamp(cell_w, 1, 1023);
  cell_h = std::clamp(cell_h, 1, 1023);
  const uint64_t key = static_cast<uint64_t>(code_point & 0x1FFFFF) |
                       (static_cast<uint64_t>(cell_w) << 21) |
                       (static_cast<uint64_t>(cell_h) << 31) | (static_cast<uint64_t>(wide) << 41);
  if (auto it = cache_.find(key); it != cache_.end()) return it->second;
  if (cache_.size() >= kMaxCached) cache_.clear();
  auto glyph = Draw(code_point, cell_w, cell_h, wide);
  cache_.emplace(key, glyph);
  return glyph;
}

std::shared_ptr<const Glyph> GlyphSource::Draw(char32_t code_point, int cell_w, int cell_h,
                                               bool wide) {
  // Single-byte text in the monospace face unless it lacks the character;
  // double-byte characters in the Korean face.
  FT_Face face = Face(wide ? korean_face_ : text_face_);
  if (FT_Get_Char_Index(face, code_point) == 0) {
    face = Face(wide ? text_face_ : korean_face_);
    if (FT_Get_Char_Index(face, code_point) == 0) return Box(cell_w, cell_h);
  }
  // The em size that fills the cell: a monospace advance is 0.6 em and its
  // line 1.17 em; a Hangul syllable is about 0.92 em square.
  const bool korean = face == Face(korean_face_);
  const double em_per_width = korean ? (wide ? 1.0 / 0.92 : 1.0 / 0.46) : 1.0 / 0.6;
  const double em_per_height = korean ? 1.0 / 1.1 : 1.0 / 1.2;
  const auto em_w = static_cast<FT_UInt>(std::max(1.0, std::round(cell_w * em_per_width)));
  const auto em_h = static_cast<FT_UInt>(std::max(1.0, std::round(cell_h * em_per_height)));
  if (FT_Set_Pixel_Sizes(face, em_w, em_h) != 0 ||
      FT_Load_Char(face, code_point, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
    return Box(cell_w, cell_h);
  }
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  auto glyph = std::make_shared<Glyph>();
  glyph->mask = Mask(static_cast<int>(bitmap.width), static_cast<int>(bitmap.rows));
  if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
    for (unsigned y = 0; y < bitmap.rows; ++y) {
      const unsigned char* row = bitmap.buffer + static_cast<long>(y) * bitmap.pitch;
      std::copy(row, row + bitmap.width, &glyph->mask.At(0, static_cast<int>(y)));
    }
  } else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
    for (unsigned y = 0; y < bitmap.rows; ++y) {
      const unsigned char* row = bitmap.buffer + static_cast<long>(y) * bitmap.pitch;
      for (unsigned x = 0; x < bitmap.width; ++x) {
        glyph->mask.At(static_cast<int>(x), static_cast<int>(y)) =
            (row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
      }
    }
  }
  const int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
  const int descender = static_cast<int>(-face->size->metrics.descender >> 6);
  const int baseline = (cell_h - (ascender + descender)) / 2 + ascender;
  const int advance = static_cast<int>(slot->advance.x >> 6);
  glyph->x = slot->bitmap_left + (cell_w - advance) / 2;
  glyph->y = baseline - slot->bitmap_top;
  return glyph;
}

}  // namespace printersim
