// Fuzzing printer-sim's receipt renderer: any bytes a host may send, drawn
// as the printer would print them (text in both faces, raster and bit images,
// barcodes and QR codes through their libraries). Every page it hands out
// must be as wide as the paper and as tall as it says.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/printer-sim/render/glyphs.h"
#include "tools/printer-sim/render/receipt_renderer.h"

namespace {

printersim::GlyphSource* Glyphs() {
  static printersim::GlyphSource* glyphs = [] {
    auto* g = new printersim::GlyphSource;
    std::string error;
    if (g->Load(&error) != 0) {
      delete g;
      return static_cast<printersim::GlyphSource*>(nullptr);
    }
    return g;
  }();
  return glyphs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  printersim::RenderBytes(data, size, Glyphs(), [](printersim::RenderedPage&& page) {
    const printersim::GrayImage& image = page.image;
    if (image.width != printersim::ReceiptRenderer::kPaperWidth || image.height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * image.height)
      std::abort();
  });
  return 0;
}
