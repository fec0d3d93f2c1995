// The printer's drawing: modes, the line buffer, images and symbols.
#include "tools/printer-sim/render/receipt_renderer.h"

#include <algorithm>
#include <string_view>

#include "tools/printer-sim/render/symbols.h"

namespace printersim {
namespace {

constexpr int kFontAWidth = 12;
constexpr int kFontAHeight = 24;
constexpr int kFontBWidth = 9;
constexpr int kFontBHeight = 17;
constexpr int kTabChars = 8;
constexpr int kCutFeed = 24;  // From the print line to the cutter.
constexpr int kHriGap = 4;

int Word(const Command& cmd, size_t i) {
  return cmd.header_len > i + 1 ? cmd.header[i] | (cmd.header[i + 1] << 8) : 0;
}

// Parameters taken as 0..n or as the ASCII digits '0'..'n'.
int Digit(uint8_t n) { return n >= '0' ? n - '0' : n; }

}  // namespace

struct ReceiptRenderer::Modes {
  int align = 0;  // 0 left, 1 centre, 2 right.
  bool emphasis = false;
  int underline = 0;  // Dots thick.
  bool reverse = false;
  bool font_b = false;
  int width_mul = 1;
  int height_mul = 1;
  int line_spacing = kDefaultLineSpacing;
  int char_spacing = 0;
  int left_margin = 0;
  int print_width = kPrintWidth;
  int bar_height = 162;
  int bar_module = 3;
  int hri = 0;  // Bit 0 above, bit 1 below.
  bool hri_font_b = false;
  int qr_module = 3;
  int qr_level = 0;
};

struct ReceiptRenderer::LineItem {
  std::shared_ptr<const Glyph> glyph;  // Null for blank space.
  int x = 0;                           // From the line's left end (ESC $ and ESC \ move it).
  int cell_w = 0;
  int cell_h = 0;
  int advance = 0;
  bool bold = false;
  bool reverse = false;
  int underline = 0;
};

// A GS v 0 image whose data is arriving.
struct ReceiptRenderer::Raster {
  int bytes_per_row = 0;
  int rows = 0;
  int scale_x = 1;
  int scale_y = 1;
  int x = 0;   // Left edge, printable-area coordinates.
  int y0 = 0;  // Page row of image row 0 (may be above the page after a page end).
  uint64_t offset = 0;
};

// Raster graphics stored in the print buffer (GS ( L / GS 8 L fn 112) until
// fn 50 prints them; only what fits the paper is kept.
struct ReceiptRenderer::StoredGraphics {
  int width = 0;  // Dots of the image.
  int height = 0;
  int scale_x = 1;
  int scale_y = 1;
  int kept_bytes = 0;  // Of each row.
  int kept_rows = 0;
  std::vector<uint8_t> rows;  // kept_rows x kept_bytes.
  uint64_t offset = 0;        // Data bytes received of the one being stored.
};

ReceiptRenderer::ReceiptRenderer(GlyphSource* glyphs, PageSink on_page, NoteSink on_note)
    : glyphs_(glyphs),
      on_page_(std::move(on_page)),
      on_note_(std::move(on_note)),
      modes_(std::make_unique<Modes>()) {
  parser_.set_observer(this);
  StartPage();
}

ReceiptRenderer::~ReceiptRenderer() = default;

void ReceiptRenderer::Feed(const uint8_t* data, size_t len, bool print) {
  discarding_ = !print;
  std::vector<Command> commands;
  parser_.Feed(data, len, &commands);
  discarding_ = false;
}

void ReceiptRenderer::ResetLink() {
  parser_.Reset();
  if (graphics_ && graphics_->offset != kNoStore) graphics_.reset();
  decoder_.Interrupt();
  collected_.clear();
  collected_overflow_ = false;
  raster_.reset();
}

void ReceiptRenderer::Note(const std::string& text) {
  if (on_note_) on_note_(text);
}

void ReceiptRenderer::StartPage() {
  page_.width = kPaperWidth;
  page_.height = 0;
  page_.pixels.clear();
  page_.pixels.shrink_to_fit();
  rows_ = 0;
  y_ = kTopMargin;
  bottom_ = 0;
  content_ = false;
  clipped_ = false;
}

void ReceiptRenderer::EndPage() {
  if (content_) FinishPage(false);
}

void ReceiptRenderer::FinishPage(bool cut) {
  RenderedPage page;
  const int height = std::min(std::max(y_, bottom_) + kBottomMargin, kMaxHeight);
  Row(height - 1);
  page.image = std::move(page_);
  page.image.height = height;
  page.image.pixels.resize(static_cast<size_t>(height) * kPaperWidth);
  page.cut = cut;
  page.clipped = clipped_;
  if (raster_ && raster_->bytes_per_row > 0) {
    // The rest of an image still arriving continues at the top of the next page.
    const auto next_row = static_cast<int64_t>(raster_->offset / raster_->bytes_per_row);
    raster_->y0 = static_cast<int>(
        std::max<int64_t>(kTopMargin - next_row * raster_->scale_y, -(int64_t{1} << 30)));
  }
  StartPage();
  if (on_page_) on_page_(std::move(page));
}

// --- Page drawing -------------------------------------------------------

uint8_t* ReceiptRenderer::Row(int y) {
  if (y < 0) return nullptr;
  if (y >= kMaxHeight) {
    clipped_ = true;
    return nullptr;
  }
  if (y >= rows_) {
    const int rows = std::min(kMaxHeight, std::max({y + 1, rows_ * 2, 256}));
    page_.pixels.reserve(static_cast<size_t>(rows) * kPaperWidth);
    page_.pixels.resize(static_cast<size_t>(rows) * kPaperWidth, 255);
    rows_ = rows;
  }
  return page_.pixels.data() + static_cast<size_t>(y) * kPaperWidth;
}

void ReceiptRenderer::Ink(int x, int y, uint8_t alpha) {
  if (alpha == 0) return;
  if (x < 0 || x >= kPrintWidth) {
    clipped_ = true;
    return;
  }
  uint8_t* row = Row(y);
  if (row == nullptr) return;
  uint8_t& p = row[kSideMargin + x];
  p = std::min<uint8_t>(p, 255 - alpha);
  bottom_ = std::max(bottom_, y + 1);
  content_ = true;
}

void ReceiptRenderer::DrawMask(const Mask& mask, int x, int y, bool lighten) {
  for (int my = 0; my < mask.height; ++my) {
    uint8_t* row = Row(y + my);
    if (row == nullptr) continue;
    bottom_ = std::max(bottom_, y + my + 1);
    content_ = true;
    for (int mx = 0; mx < mask.width; ++mx) {
      const uint8_t a = mask.At(mx, my);
      const int px = x + mx;
      if (a == 0) continue;
      if (px < 0 || px >= kPrintWidth) {
        clipped_ = true;
        continue;
      }
      uint8_t& p = row[kSideMargin + px];
      p = lighten ? std::max(p, a) : std::min<uint8_t>(p, 255 - a);
    }
  }
}

void ReceiptRenderer::FillRect(int x, int y, int w, int h) {
  for (int yy = y; yy < y + h; ++yy) {
    for (int xx = x; xx < x + w; ++xx) Ink(xx, yy, 255);
  }
}

int ReceiptRenderer::AreaLeft() const { return std::min(modes_->left_margin, kPrintWidth - 1); }

int ReceiptRenderer::AreaWidth() const {
  return std::clamp(modes_->print_width, 1, kPrintWidth - AreaLeft());
}

int ReceiptRenderer::AlignedX(int width) const {
  const int room = AreaWidth() - width;
  if (room <= 0) return AreaLeft();
  return AreaLeft() + (modes_->align == 1 ? room / 2 : modes_->align == 2 ? room : 0);
}

void ReceiptRenderer::FeedPaper(int dots) {
  if (dots <= 0) return;
  y_ = std::min(y_ + dots, kMaxHeight);
  content_ = true;
}

// --- Text -----------------------------------------------------------------

void ReceiptRenderer::OnText(const uint8_t* data, size_t len) {
  if (discarding_) return;
  for (size_t i = 0; i < len; ++i) {
    const uint8_t b = data[i];
    if (b == '\n') {
      decoder_.Interrupt();
      PrintLine(modes_->line_spacing);
    } else if (b == '\t') {
      decoder_.Interrupt();
      Tab();
    } else if (b < 0x20 || b == 0x7F) {
      decoder_.Interrupt();  // CR and other controls print nothing.
    } else {
      for (const auto& c : decoder_.Take(b)) {
        if (c) AddChar(c->code_point, c->wide);
      }
    }
  }
}

void ReceiptRenderer::AddChar(char32_t code_point, bool wide) {
  const Modes& m = *modes_;
  const int half = m.font_b ? kFontBWidth : kFontAWidth;
  LineItem item;
  item.cell_w = (wide ? 2 * half : half) * m.width_mul;
  item.cell_h = (m.font_b ? kFontBHeight : kFontAHeight) * m.height_mul;
  item.advance = item.cell_w + m.char_spacing * m.width_mul;
  item.bold = m.emphasis;
  item.reverse = m.reverse;
  item.underline = m.underline;
  if (glyphs_ != nullptr && code_point != U' ') {
    item.glyph = glyphs_->Get(code_point, item.cell_w, item.cell_h, wide);
  }
  AddItem(std::move(item));
}

void ReceiptRenderer::AddItem(LineItem item) {
  // A full line is printed and the character starts the next, as printers wrap.
  if (!line_.empty() && pos_ + item.cell_w > AreaWidth()) PrintLine(modes_->line_spacing);
  if (line_.empty()) line_align_ = modes_->align;
  item.x = pos_;
  pos_ += item.advance;
  line_width_ = std::max(line_width_, pos_);
  line_.push_back(std::move(item));
}

void ReceiptRenderer::Tab() {
  const int stop = kTabChars * (modes_->font_b ? kFontBWidth : kFontAWidth);
  const int next = (pos_ / stop + 1) * stop;
  if (next >= AreaWidth()) return;
  LineItem blank;
  blank.advance = next - pos_;
  blank.cell_w = blank.advance;
  AddItem(std::move(blank));
}

void ReceiptRenderer::MoveTo(int x) {
  // Dots from the line's start (the motion unit of an 8 dots/mm printer).
  pos_ = std::clamp(x, 0, AreaWidth());
  if (line_.empty()) line_align_ = modes_->align;
  line_width_ = std::max(line_width_, pos_);
}

void ReceiptRenderer::PrintLine(int feed) {
  int height = 0;
  for (const LineItem& item : line_) height = std::max(height, item.cell_h);
  if (!line_.empty()) {
    const int room = AreaWidth() - line_width_;
    int x = AreaLeft() + (room <= 0          ? 0
                          : line_align_ == 1 ? room / 2
                          : line_align_ == 2 ? room
                                             : 0);
    const int left = x;
    for (const LineItem& item : line_) {
      x = left + item.x;
      // Characters of different heights stand on the same bottom line.
      const int top = y_ + height - item.cell_h;
      if (item.reverse) FillRect(x, top, item.advance, item.cell_h);
      if (item.glyph) {
        const Glyph& g = *item.glyph;
        DrawMask(g.mask, x + g.x, top + g.y, item.reverse);
        if (item.bold)
          DrawMask(g.mask, x + g.x + std::max(1, item.cell_w / 12), top + g.y, item.reverse);
      }
      if (item.underline > 0 && !item.reverse) {
        FillRect(x, top + item.cell_h - item.underline, item.advance, item.underline);
      }
    }
    content_ = true;
  }
  line_.clear();
  line_width_ = 0;
  pos_ = 0;
  FeedPaper(std::max(feed, height));
}

void ReceiptRenderer::DrawText(const std::string& text, int y, int left, int width, bool font_b) {
  if (glyphs_ == nullptr) return;
  const int w = font_b ? kFontBWidth : kFontAWidth;
  const int h = font_b ? kFontBHeight : kFontAHeight;
  int x = left + (width - static_cast<int>(text.size()) * w) / 2;
  for (char c : text) {
    if (c != ' ') {
      if (auto g = glyphs_->Get(static_cast<unsigned char>(c), w, h, false)) {
        DrawMask(g->mask, x + g->x, y + g->y);
      }
    }
    x += w;
  }
}

// --- Commands ---------------------------------------------------------------

void ReceiptRenderer::OnPayload(const Command& cmd, const uint8_t* data, size_t len) {
  if (discarding_) return;
  if (cmd.prefix == kGs && cmd.code == 'v' && cmd.header_len >= 6 && cmd.header[0] == '0') {
    RasterBytes(cmd, data, len);
    return;
  }
  if (const auto g = escpos::GraphicsOf(cmd); g && g->fn == escpos::kGraphicsStoreRaster) {
    GraphicsBytes(*g, data, len);
    return;
  }
  const bool wanted = (cmd.prefix == kGs && (cmd.code == 'k' || cmd.code == '(')) ||
                      (cmd.prefix == kEsc && (cmd.code == '*' || cmd.code == 'Z'));
  if (!wanted) return;
  const size_t take = std::min(len, kMaxCollected - collected_.size());
  collected_.insert(collected_.end(), data, data + take);
  if (take < len) collected_overflow_ = true;
}

void ReceiptRenderer::OnCommand(const Command& cmd) {
  decoder_.Interrupt();
  if (discarding_) {
    raster_.reset();  // A thrown-away command changes nothing.
  } else if (cmd.prefix == kEsc) {
    Esc(cmd);
  } else if (cmd.prefix == kGs) {
    Gs(cmd);
  } else if (cmd.prefix == kFs && (cmd.code == '&' || cmd.code == '.')) {
    decoder_.SetMultiByte(cmd.code == '&');
  }
  collected_.clear();
  collected_overflow_ = false;
}

void ReceiptRenderer::Esc(const Command& cmd) {
  Modes& m = *modes_;
  const uint8_t n = cmd.n();
  switch (cmd.code) {
    case '@':  // Initialise: modes back to the defaults, the line buffer cleared.
      m = Modes{};
      line_.clear();
      line_width_ = 0;
      pos_ = 0;
      graphics_.reset();
      decoder_.SetMultiByte(true);
      break;
    case '!':
      m.font_b = n & 0x01;
      m.emphasis = n & 0x08;
      m.height_mul = (n & 0x10) ? 2 : 1;
      m.width_mul = (n & 0x20) ? 2 : 1;
      m.underline = (n & 0x80) ? 1 : 0;
      break;
    case 'E':
    case 'G':
      m.emphasis = n & 0x01;
      break;
    case '-':
      if (Digit(n) <= 2) m.underline = Digit(n);
      break;
    case 'M':
      if (Digit(n) <= 1) m.font_b = Digit(n) == 1;
      break;
    case 'a':
      if (Digit(n) <= 2) m.align = Digit(n);
      break;
    case ' ':
      m.char_spacing = n;
      break;
    case '2':
      m.line_spacing = kDefaultLineSpacing;
      break;
    case '3':
      m.line_spacing = n;
      break;
    case 'J':
      PrintLine(n);
      break;
    case 'd':
      PrintLine(n > 0 ? m.line_spacing : 0);
      if (n > 1) FeedPaper((n - 1) * m.line_spacing);
      break;
    case 'i':
    case 'm':
      Cut(0);
      break;
    case '*':
      BitImage(cmd);
      break;
    case '$':
      MoveTo(Word(cmd, 0));
      break;
    case '\\':
      MoveTo(pos_ + static_cast<int16_t>(Word(cmd, 0)));
      break;
    case 'Z':  // ESC Z v l s dL dH data: a QR code when GS Z chose one.
      if (symbol_type_ == 2 && cmd.header_len >= 3 && !collected_overflow_) {
        const std::string_view levels = "LMQH";
        const size_t level = levels.find(static_cast<char>(cmd.header[1]));
        const int module = cmd.header[2];
        PrintQr(std::string(collected_.begin(), collected_.end()),
                level == std::string_view::npos ? 0 : static_cast<int>(level),
                module >= 1 && module <= 16 ? module : m.qr_module);
      }
      break;
    default:
      break;
  }
}

void ReceiptRenderer::Gs(const Command& cmd) {
  Modes& m = *modes_;
  const uint8_t n = cmd.n();
  switch (cmd.code) {
    case '!':
      m.width_mul = ((n >> 4) & 7) + 1;
      m.height_mul = (n & 7) + 1;
      break;
    case 'B':
      m.reverse = n & 0x01;
      break;
    case 'L':
      m.left_margin = Word(cmd, 0);
      break;
    case 'W':
      m.print_width = Word(cmd, 0);
      break;
    case 'h':
      if (n > 0) m.bar_height = n;
      break;
    case 'w':
      if (n >= 1 && n <= 6) m.bar_module = n;
      break;
    case 'H':
      if (Digit(n) <= 3) m.hri = Digit(n);
      break;
    case 'f':
      if (Digit(n) <= 1) m.hri_font_b = Digit(n) == 1;
      break;
    case 'V': {
      const bool feeds = cmd.header_len >= 2 && n >= 65;
      Cut(feeds ? cmd.header[1] : 0);
      break;
    }
    case 'k':
      Barcode(cmd);
      break;
    case 'v':
      if (raster_) FinishRaster();
      break;
    case 'Z':
      symbol_type_ = n;
      break;
    case '(':
    case '8':
      if (const auto g = escpos::GraphicsOf(cmd)) {
        GraphicsFunction(*g);
      } else if (cmd.code == '(' && cmd.header_len >= 5 && cmd.header[0] == 'k' &&
                 cmd.header[3] == 49) {
        QrFunction(cmd);
      }
      break;
    default:
      break;
  }
}

void ReceiptRenderer::Cut(int extra_feed) {
  PrintLine(0);
  FeedPaper(extra_feed + kCutFeed);
  // The cut as a dashed line across the whole paper.
  for (int dy = 0; dy < 2; ++dy) {
    uint8_t* row = Row(y_ + dy);
    if (row == nullptr) break;
    for (int x = 0; x < kPaperWidth; ++x) {
      if (x % 16 < 10) row[x] = 0;
    }
  }
  bottom_ = std::max(bottom_, std::min(y_ + 2, kMaxHeight));
  y_ = bottom_;
  content_ = true;
  FinishPage(true);
}

// --- Images and symbols ------------------------------------------------------

void ReceiptRenderer::RasterBytes(const Command& cmd, const uint8_t* data, size_t len) {
  if (!raster_) {
    if (!line_.empty()) PrintLine(0);
    raster_ = std::make_unique<Raster>();
    raster_->bytes_per_row = Word(cmd, 2);
    raster_->rows = Word(cmd, 4);
    const int mode = Digit(cmd.header[1]);
    raster_->scale_x = (mode & 1) ? 2 : 1;
    raster_->scale_y = (mode & 2) ? 2 : 1;
    raster_->x = AlignedX(raster_->bytes_per_row * 8 * raster_->scale_x);
    raster_->y0 = y_;
  }
  Raster& r = *raster_;
  if (r.bytes_per_row == 0) return;
  // Bytes right of the paper are passed over a row at a time.
  const int visible = std::max(0, (kPrintWidth - r.x + 8 * r.scale_x - 1) / (8 * r.scale_x));
  size_t i = 0;
  while (i < len) {
    const auto row = static_cast<int64_t>(r.offset / r.bytes_per_row);
    const auto col = static_cast<int>(r.offset % r.bytes_per_row);
    if (col >= visible) {
      if (col == visible) clipped_ = true;
      const size_t skip = std::min<size_t>(len - i, r.bytes_per_row - col);
      i += skip;
      r.offset += skip;
      continue;
    }
    const int64_t top = r.y0 + row * r.scale_y;
    const uint8_t b = data[i++];
    ++r.offset;
    if (b == 0 || top >= kMaxHeight || top < 0) {
      if (b != 0 && top >= kMaxHeight) clipped_ = true;
      continue;
    }
    for (int bit = 0; bit < 8; ++bit) {
      if (!(b & (0x80 >> bit))) continue;
      for (int sy = 0; sy < r.scale_y; ++sy) {
        for (int sx = 0; sx < r.scale_x; ++sx) {
          Ink(r.x + (col * 8 + bit) * r.scale_x + sx, static_cast<int>(top) + sy, 255);
        }
      }
    }
  }
}

void ReceiptRenderer::FinishRaster() {
  const int64_t end = raster_->y0 + static_cast<int64_t>(raster_->rows) * raster_->scale_y;
  raster_.reset();
  if (end > y_) FeedPaper(static_cast<int>(std::min<int64_t>(end, kMaxHeight)) - y_);
}

void ReceiptRenderer::BitImage(const Command& cmd) {
  // ESC * m nL nH: columns of 8 dots (each 3 dots tall) or of 24 dots, at
  // single density two dots wide.
  const uint8_t m = cmd.n();
  if (m != 0 && m != 1 && m != 32 && m != 33) return;
  const int columns = Word(cmd, 1);
  const int bytes_per_column = m >= 32 ? 3 : 1;
  const int dot_w = (m == 0 || m == 32) ? 2 : 1;
  const int dot_h = m >= 32 ? 1 : 3;
  const int shown = std::min<int>(columns, static_cast<int>(collected_.size()) / bytes_per_column);
  if (shown <= 0) return;
  auto glyph = std::make_shared<Glyph>();
  glyph->mask = Mask(std::min(shown * dot_w, kPrintWidth), 24);
  for (int c = 0; c < shown && c * dot_w < glyph->mask.width; ++c) {
    for (int dot = 0; dot < 8 * bytes_per_column; ++dot) {
      const uint8_t byte = collected_[static_cast<size_t>(c) * bytes_per_column + dot / 8];
      if (!(byte & (0x80 >> (dot % 8)))) continue;
      for (int dy = 0; dy < dot_h; ++dy) {
        for (int dx = 0; dx < dot_w && c * dot_w + dx < glyph->mask.width; ++dx) {
          glyph->mask.At(c * dot_w + dx, dot * dot_h + dy) = 255;
        }
      }
    }
  }
  LineItem item;
  item.cell_w = glyph->mask.width;
  item.cell_h = glyph->mask.height;
  item.advance = item.cell_w;
  item.glyph = std::move(glyph);
  AddItem(std::move(item));
  if (columns > shown || shown * dot_w > kPrintWidth) clipped_ = true;
}

void ReceiptRenderer::Barcode(const Command& cmd) {
  if (cmd.header_len < 1) return;
  const uint8_t m = cmd.header[0];
  std::string_view data(reinterpret_cast<const char*>(collected_.data()), collected_.size());
  if (m <= 6) {
    if (data.empty() || data.back() != '\0') {
      Note(std::string("barcode ") + SymbologyName(m) + " not printed: no NUL terminator");
      return;
    }
    data.remove_suffix(1);
  }
  LinearSymbol symbol;
  std::string why;
  if (collected_overflow_ || !EncodeBarcode(m, data, &symbol, &why)) {
    Note(std::string("barcode ") + SymbologyName(m) + " not printed: " + why);
    return;
  }
  const Modes& md = *modes_;
  const int width = static_cast<int>(symbol.bars.size()) * md.bar_module;
  if (width > AreaWidth()) {
    Note(std::string("barcode ") + SymbologyName(m) + " not printed: " + std::to_string(width) +
         " dots wide");
    return;
  }
  if (!line_.empty()) PrintLine(0);
  const int x = AlignedX(width);
  const int text_h = (md.hri_font_b ? kFontBHeight : kFontAHeight);
  if (md.hri & 1) {
    DrawText(symbol.text, y_, x, width, md.hri_font_b);
    FeedPaper(text_h + kHriGap);
  }
  for (size_t i = 0; i < symbol.bars.size(); ++i) {
    if (symbol.bars[i])
      FillRect(x + static_cast<int>(i) * md.bar_module, y_, md.bar_module,
               std::min(md.bar_height, kMaxHeight - y_));
  }
  FeedPaper(md.bar_height);
  if (md.hri & 2) {
    DrawText(symbol.text, y_ + kHriGap, x, width, md.hri_font_b);
    FeedPaper(text_h + kHriGap);
  }
}

void ReceiptRenderer::QrFunction(const Command& cmd) {
  Modes& m = *modes_;
  const uint8_t fn = cmd.header[4];
  const int param = cmd.header_len > 5 ? cmd.header[5] : -1;
  switch (fn) {
    case 67:  // Module size.
      if (param >= 1 && param <= 16) m.qr_module = param;
      break;
    case 69:  // Error correction level '0'..'3' (L, M, Q, H).
      if (param >= 48 && param <= 51) m.qr_level = param - 48;
      break;
    case 80: {  // Store: the first data bytes came with the header.
      qr_data_.assign(reinterpret_cast<const char*>(cmd.header.data()) + 6,
                      cmd.header_len > 6 ? cmd.header_len - 6 : 0);
      qr_data_.append(reinterpret_cast<const char*>(collected_.data()), collected_.size());
      if (collected_overflow_) {
        qr_data_.clear();
        Note("QR code data over " + std::to_string(kMaxCollected) + " bytes dropped");
      }
      break;
    }
    case 81:
      PrintQr(qr_data_, m.qr_level, m.qr_module);
      break;
    default:
      break;
  }
}

void ReceiptRenderer::PrintQr(const std::string& data, int level, int module) {
  MatrixSymbol symbol;
  std::string why;
  if (!EncodeQr(data, level, &symbol, &why)) {
    Note("QR code not printed: " + why);
    return;
  }
  const int size = symbol.size * module;
  if (size > AreaWidth()) {
    Note("QR code not printed: " + std::to_string(size) + " dots wide");
    return;
  }
  if (!line_.empty()) PrintLine(0);
  const int x = AlignedX(size);
  for (int my = 0; my < symbol.size; ++my) {
    for (int mx = 0; mx < symbol.size; ++mx) {
      if (symbol.modules[static_cast<size_t>(my) * symbol.size + mx]) {
        FillRect(x + mx * module, y_ + my * module, module, module);
      }
    }
  }
  FeedPaper(size);
}

void ReceiptRenderer::GraphicsBytes(const escpos::Graphics& g, const uint8_t* data, size_t len) {
  if (!graphics_ || graphics_->offset == kNoStore) {
    // A new image, or a further colour plane of the one stored (drawn in
    // the same black).
    const bool same = graphics_ && graphics_->width == g.width && graphics_->height == g.height;
    if (!same || g.color <= 49) {
      graphics_ = std::make_unique<StoredGraphics>();
      graphics_->width = g.width;
      graphics_->height = g.height;
      graphics_->scale_x = g.scale_x;
      graphics_->scale_y = g.scale_y;
      graphics_->kept_bytes = std::min((g.width + 7) / 8, (kPrintWidth / g.scale_x + 7) / 8);
      graphics_->kept_rows = std::min(g.height, kMaxHeight / g.scale_y);
      graphics_->rows.assign(static_cast<size_t>(graphics_->kept_bytes) * graphics_->kept_rows, 0);
    }
    graphics_->offset = 0;
  }
  StoredGraphics& s = *graphics_;
  const int bytes_per_row = (s.width + 7) / 8;
  if (bytes_per_row == 0) return;
  for (size_t i = 0; i < len; ++i, ++s.offset) {
    const auto row = static_cast<int64_t>(s.offset / bytes_per_row);
    const auto col = static_cast<int>(s.offset % bytes_per_row);
    if (row < s.kept_rows && col < s.kept_bytes) s.rows[row * s.kept_bytes + col] |= data[i];
  }
}

void ReceiptRenderer::GraphicsFunction(const escpos::Graphics& g) {
  if (g.fn == escpos::kGraphicsStoreRaster) {
    if (graphics_) graphics_->offset = kNoStore;  // Stored: the next store starts afresh.
    return;
  }
  if (g.fn != escpos::kGraphicsPrintBuffer || !graphics_) return;
  const StoredGraphics s = std::move(*graphics_);
  graphics_.reset();
  if (!line_.empty()) PrintLine(0);
  const int width = s.width * s.scale_x;
  const int x = AlignedX(width);
  if (width > AreaWidth() || s.height > s.kept_rows) clipped_ = true;
  for (int row = 0; row < s.kept_rows; ++row) {
    for (int col = 0; col < s.kept_bytes; ++col) {
      const uint8_t b = s.rows[static_cast<size_t>(row) * s.kept_bytes + col];
      for (int bit = 0; b != 0 && bit < 8; ++bit) {
        if (!(b & (0x80 >> bit)) || col * 8 + bit >= s.width) continue;
        FillRect(x + (col * 8 + bit) * s.scale_x, y_ + row * s.scale_y, s.scale_x, s.scale_y);
      }
    }
  }
  FeedPaper(s.height * s.scale_y);
}

void RenderBytes(const uint8_t* data, size_t len, GlyphSource* glyphs, const PageSink& on_page,
                 const NoteSink& on_note) {
  ReceiptRenderer renderer(glyphs, on_page, on_note);
  renderer.Feed(data, len);
  renderer.EndPage();
}

}  // namespace printersim
