// Draws what an 80 mm ESC/POS receipt printer prints: text with its modes,
// raster images, bit images, barcodes and QR codes, and the cut.
//
// Pure: no files, no clock. Bytes go in (in any chunks) and each finished
// page comes out through a callback. Everything a host can send is bounded:
// a page is at most kMaxHeight rows, collected command data is capped, and
// what does not fit is clipped, never kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "escpos/parser.h"
#include "tools/printer-sim/render/glyphs.h"
#include "tools/printer-sim/render/gray_image.h"
#include "tools/printer-sim/render/text_decoder.h"

namespace printersim {

// The commands come from the product's ESC/POS decoder.
using escpos::Command;
using escpos::EscPosParser;
using escpos::kEsc;
using escpos::kFs;
using escpos::kGs;
using escpos::StreamObserver;

struct RenderedPage {
  GrayImage image;
  bool cut = false;      // Ended by a cut, drawn as a dashed line at the bottom.
  bool clipped = false;  // Something fell outside the paper and was left out.
};

using PageSink = std::function<void(RenderedPage&& page)>;
// Why something the host sent was not printed (a bad barcode, ...).
using NoteSink = std::function<void(const std::string& note)>;

class ReceiptRenderer : private StreamObserver {
 public:
  static constexpr int kPaperWidth = 640;  // 80 mm at 8 dots per mm.
  static constexpr int kPrintWidth = 576;  // The printable 72 mm in the middle.
  static constexpr int kSideMargin = (kPaperWidth - kPrintWidth) / 2;
  static constexpr int kTopMargin = 8;
  static constexpr int kBottomMargin = 8;
  static constexpr int kMaxHeight = 20000;  // Rows of one page; more is clipped.
  static constexpr int kDefaultLineSpacing = 30;
  static constexpr size_t kMaxCollected = 8192;  // Bytes kept of one command's data.

  // `glyphs` may be null (no text is drawn) and must outlive the renderer.
  ReceiptRenderer(GlyphSource* glyphs, PageSink on_page, NoteSink on_note = nullptr);
  ~ReceiptRenderer() override;

  // Print data in stream order; a cut hands its page to the page sink.
  // Bytes the printer threw away unprinted (a buffer clear) go through with
  // `print` false, so that command boundaries stay in step.
  void Feed(const uint8_t* data, size_t len, bool print = true);
  // Ends the page where the paper is, without a cut, when anything has been
  // printed or fed on it. Text waiting for its line end stays for the next.
  void EndPage();
  // True when EndPage would produce a page.
  bool HasContent() const { return content_; }
  // The host side changed: a partly received command is forgotten.
  void ResetLink();

 private:
  struct Modes;
  struct LineItem;
  struct Raster;
  struct StoredGraphics;
  static constexpr uint64_t kNoStore = ~uint64_t{0};  // StoredGraphics::offset between stores.

  // StreamObserver.
  void OnText(const uint8_t* data, size_t len) override;
  void OnPayload(const Command& cmd, const uint8_t* data, size_t len) override;
  void OnCommand(const Command& cmd) override;

  void Esc(const Command& cmd);
  void Gs(const Command& cmd);
  void QrFunction(const Command& cmd);
  void AddChar(char32_t code_point, bool wide);
  void AddItem(LineItem item);
  void Tab();
  // Prints the waiting line and feeds `feed` dots, or the line's height when
  // that is larger; an empty line only feeds.
  void PrintLine(int feed);
  void FeedPaper(int dots);
  void Cut(int extra_feed);
  void Barcode(const Command& cmd);
  void BitImage(const Command& cmd);
  void PrintQr(const std::string& data, int level, int module);
  void MoveTo(int x);
  void GraphicsBytes(const escpos::Graphics& g, const uint8_t* data, size_t len);
  void GraphicsFunction(const escpos::Graphics& g);
  void RasterBytes(const Command& cmd, const uint8_t* data, size_t len);
  void FinishRaster();
  void StartPage();
  void FinishPage(bool cut);

  // Left edge of an object `width` dots wide under the current alignment,
  // in printable-area coordinates.
  int AlignedX(int width) const;
  int AreaLeft() const;
  int AreaWidth() const;
  // Row `y` of the page, grown as needed; nullptr beyond kMaxHeight.
  uint8_t* Row(int y);
  void Ink(int x, int y, uint8_t alpha);
  void DrawMask(const Mask& mask, int x, int y, bool lighten = false);
  void FillRect(int x, int y, int w, int h);
  void DrawText(const std::string& text, int y, int left, int width, bool font_b);
  void Note(const std::string& text);

  GlyphSource* glyphs_;
  PageSink on_page_;
  NoteSink on_note_;
  EscPosParser parser_;
  TextDecoder decoder_;
  std::unique_ptr<Modes> modes_;
  std::vector<LineItem> line_;
  int line_width_ = 0;  // Right end of the line's items.
  int pos_ = 0;         // Where the next item goes (ESC $, ESC \ move it).
  int line_align_ = 0;
  std::unique_ptr<Raster> raster_;
  std::vector<uint8_t> collected_;  // Data of the command being received.
  bool collected_overflow_ = false;
  std::string qr_data_;  // Stored by GS ( k fn 80 until printed.
  int symbol_type_ = 0;  // GS Z: the symbol ESC Z prints (2 QR).
  std::unique_ptr<StoredGraphics> graphics_;

  GrayImage page_;
  int rows_ = 0;    // Rows of page_ allocated.
  int y_ = 0;       // Paper position: the next line's top row.
  int bottom_ = 0;  // One past the lowest row drawn.
  bool content_ = false;
  bool clipped_ = false;
  bool discarding_ = false;
};

// Renders `data` as a freshly started printer prints it; each page (at every
// cut, and what follows the last one) goes to `on_page`. The entry point for
// fuzzing; `glyphs` may be null.
void RenderBytes(const uint8_t* data, size_t len, GlyphSource* glyphs, const PageSink& on_page,
                 const NoteSink& on_note = nullptr);

}  // namespace printersim
