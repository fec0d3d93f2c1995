// The receipt renderer: where text, images and symbols land on the page,
// and that no input can crash it or make it grow without bound.
#include "tools/printer-sim/render/receipt_renderer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/sim/ink.h"
#include "tests/sim/receipts.h"
#include "tools/printer-sim/render/symbols.h"

namespace printersim {
namespace {

using namespace receipts;

constexpr int kLeft = ReceiptRenderer::kSideMargin;
constexpr int kRight = kLeft + ReceiptRenderer::kPrintWidth;  // One past the last dot.
constexpr int kTop = ReceiptRenderer::kTopMargin;

GlyphSource& Glyphs() {
  static GlyphSource* glyphs = [] {
    auto* g = new GlyphSource;
    std::string error;
    if (g->Load(&error) != 0) ADD_FAILURE() << error;
    return g;
  }();
  return *glyphs;
}

std::vector<RenderedPage> Render(const Bytes& data, std::vector<std::string>* notes = nullptr) {
  std::vector<RenderedPage> pages;
  RenderBytes(
      data.data(), data.size(), &Glyphs(),
      [&](RenderedPage&& page) { pages.push_back(std::move(page)); },
      [&](const std::string& note) {
        if (notes) notes->push_back(note);
      });
  return pages;
}

// The one page `data` prints.
GrayImage Page(const Bytes& data) {
  auto pages = Render(data);
  if (pages.size() != 1) {
    ADD_FAILURE() << pages.size() << " pages";
    return GrayImage{};
  }
  return std::move(pages[0].image);
}

TEST(ReceiptRendererTest, AlignmentPlacesTextLeftCentreOrRight) {
  struct Case {
    const char* what;
    Bytes bytes;
    int align;
  };
  const Case cases[] = {
      {"default", Text("MMMM\n"), 0},
      {"ESC a 1", Cat({Esc('a', {1}), Text("MMMM\n")}), 1},
      {"ESC a '2'", Cat({Esc('a', {'2'}), Text("MMMM\n")}), 2},
      {"ESC a 2 then ESC @", Cat({Esc('a', {2}), Esc('@'), Text("MMMM\n")}), 0},
      // A change inside a line waits for the next line, as on printers.
      {"ESC a inside a line", Cat({Text("MM"), Esc('a', {2}), Text("MM\n")}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const InkBox box = FindInk(Page(c.bytes));
    ASSERT_FALSE(box.empty());
    EXPECT_NEAR(box.width(), 4 * 12, 4);
    if (c.align == 0) {
      EXPECT_NEAR(box.left, kLeft, 2);
    }
    if (c.align == 1) {
      EXPECT_NEAR((box.left + box.right + 1) / 2, (kLeft + kRight) / 2, 2);
    }
    if (c.align == 2) {
      EXPECT_NEAR(box.right + 1, kRight, 2);
    }
  }
}

TEST(ReceiptRendererTest, SizeCommandsScaleTheCharacters) {
  const InkBox normal = FindInk(Page(Text("HH\n")));
  struct Case {
    Bytes command;
    double width;
    double height;
  };
  const Case cases[] = {
      {Esc('!', {0x10}), 1, 2}, {Esc('!', {0x20}), 2, 1}, {Esc('!', {0x30}), 2, 2},
      {Gs('!', {0x11}), 2, 2},  {Gs('!', {0x23}), 3, 4},  {Gs('!', {0x70}), 8, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.command));
    const InkBox box = FindInk(Page(Cat({c.command, Text("HH\n")})));
    EXPECT_NEAR(box.width(), normal.width() * c.width, normal.width() * c.width * 0.2);
    EXPECT_NEAR(box.height(), normal.height() * c.height, normal.height() * c.height * 0.2);
  }
}

TEST(ReceiptRendererTest, EmphasisUnderlineAndReverseChangeTheInk) {
  const Bytes text = Text("Total 8,000\n");
  const size_t normal = CountInk(Page(text));
  const double cell_area = 11 * 12 * 24;
  struct Case {
    const char* what;
    Bytes command;
    double min_ratio;
    double max_ratio;
  };
  const Case cases[] = {
      {"ESC E 1", Esc('E', {1}), 1.2, 2.5},
      {"ESC ! 8", Esc('!', {0x08}), 1.2, 2.5},
      {"ESC E 0", Esc('E', {0}), 1.0, 1.0},
      {"ESC - 1", Esc('-', {1}), 1.1, 1.6},
      {"GS B 1", Gs('B', {1}), cell_area / normal * 0.6, cell_area / normal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const double ratio = static_cast<double>(CountInk(Page(Cat({c.command, text})))) / normal;
    EXPECT_GE(ratio, c.min_ratio);
    EXPECT_LE(ratio, c.max_ratio);
  }
}

TEST(ReceiptRendererTest, LineFeedsAndSpacingMoveThePaper) {
  struct Case {
    const char* what;
    Bytes bytes;
    int advance;  // From the first line's top to the second's.
  };
  const Case cases[] = {
      {"LF", Text("A\nA\n"), 30},
      {"CR LF", Text("A\r\nA\r\n"), 30},
      {"blank lines", Text("A\n\n\nA\n"), 90},
      {"ESC 3 60", Cat({Esc('3', {60}), Text("A\nA\n")}), 60},
      {"ESC 3 then ESC 2", Cat({Esc('3', {60}), Esc('2'), Text("A\nA\n")}), 30},
      {"ESC 3 below the character height", Cat({Esc('3', {10}), Text("A\nA\n")}), 24},
      {"ESC J 100", Cat({Text("A"), Esc('J', {100}), Text("A\n")}), 100},
      {"ESC d 3", Cat({Text("A\n"), Esc('d', {3}), Text("A\n")}), 120},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto bands = InkBands(Page(c.bytes));
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[1].first - bands[0].first, c.advance);
  }
}

TEST(ReceiptRendererTest, LongLinesWrapAtThePaperEdge) {
  const GrayImage page = Page(Text(std::string(50, 'M') + "\n"));
  const auto bands = InkBands(page);
  ASSERT_EQ(bands.size(), 2u);
  const InkBox first = FindInk(page, 0, bands[0].first, page.width, bands[0].second + 1);
  EXPECT_NEAR(first.width(), 48 * 12, 4);  // 48 characters of font A on 576 dots.
  EXPECT_LT(first.right, kRight);
}

TEST(ReceiptRendererTest, KoreanTextDrawsEachSyllableInItsCell) {
  const GrayImage page = Page(Cat({Text(kKoreanCp949), Text("A\n")}));
  // Five double-width syllables with a single-width space, then a letter.
  std::vector<Mask> cells;
  for (int x : {0, 24, 60, 84, 108}) {
    EXPECT_GT(CountInk(page, kLeft + x, kTop, kLeft + x + 24, kTop + 24), 40u) << "at " << x;
    Mask cell(24, 24);
    for (int y = 0; y < 24; ++y) {
      for (int dx = 0; dx < 24; ++dx) cell.At(dx, y) = Dark(page, kLeft + x + dx, kTop + y);
    }
    cells.push_back(cell);
  }
  EXPECT_EQ(CountInk(page, kLeft + 48, kTop, kLeft + 60, kTop + 24), 0u) << "the space";
  // Different syllables, different shapes (no placeholder boxes).
  for (size_t a = 0; a < cells.size(); ++a) {
    for (size_t b = a + 1; b < cells.size(); ++b) EXPECT_NE(cells[a].alpha, cells[b].alpha);
  }
  EXPECT_GT(CountInk(page, kLeft + 132, kTop, kLeft + 144, kTop + 24), 20u) << "the A";
}

TEST(ReceiptRendererTest, RasterImageLandsDotForDot) {
  const Bytes rows[] = {{0x80, 0x01}, {0xFF, 0x00}, {0x00, 0x81}};
  for (uint8_t mode : {0, 1, 2, 3, 51}) {
    SCOPED_TRACE(static_cast<int>(mode));
    const int sx = (mode & 1) ? 2 : 1;
    const int sy = (mode & 2) ? 2 : 1;
    const GrayImage page =
        Page(Cat({RasterHeader(2, 3, mode), rows[0], rows[1], rows[2], Text("A\n")}));
    for (int r = 0; r < 3; ++r) {
      for (int dot = 0; dot < 16; ++dot) {
        const bool set = rows[r][dot / 8] & (0x80 >> (dot % 8));
        for (int dy = 0; dy < sy; ++dy) {
          for (int dx = 0; dx < sx; ++dx) {
            ASSERT_EQ(Dark(page, kLeft + dot * sx + dx, kTop + r * sy + dy), set)
                << "row " << r << " dot " << dot;
          }
        }
      }
    }
    EXPECT_EQ(CountInk(page, kLeft + 16 * sx, kTop, kRight, kTop + 3 * sy), 0u);
    // Text continues below the image.
    const auto bands = InkBands(page);
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_GE(bands[1].first, kTop + 3 * sy);
  }
}

TEST(ReceiptRendererTest, BitImageColumnsStandInTheLine) {
  // ESC * 33: 24-dot double density, 3 bytes per column, top bit first.
  const GrayImage page = Page(
      Cat({Esc('*', {33, 3, 0}), Bytes{0x80, 0, 0x01, 0xFF, 0xFF, 0xFF, 0, 0, 0}, Text("\n")}));
  EXPECT_TRUE(Dark(page, kLeft, kTop));
  EXPECT_TRUE(Dark(page, kLeft, kTop + 23));
  EXPECT_FALSE(Dark(page, kLeft, kTop + 1));
  for (int y = 0; y < 24; ++y) EXPECT_TRUE(Dark(page, kLeft + 1, kTop + y));
  EXPECT_EQ(CountInk(page, kLeft + 2, 0, kRight), 0u);
}

TEST(ReceiptRendererTest, CutsEndPagesWithADashedLine) {
  std::vector<std::string> notes;
  const auto pages = Render(Cat({Text("A\n"), kCut, Text("B\n"), Gs('V', {1}), Text("C\n")}));
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_TRUE(pages[0].cut);
  EXPECT_TRUE(pages[1].cut);
  EXPECT_FALSE(pages[2].cut) << "the rest without a cut ends at the end of data";
  for (int i = 0; i < 2; ++i) {
    const GrayImage& page = pages[i].image;
    int dashed_rows = 0;
    for (int y = page.height - 12; y < page.height; ++y) {
      const size_t ink = CountInk(page, 0, y, page.width, y + 1);
      if (ink > 350 && ink < 450 && Dark(page, 0, y) && !Dark(page, 12, y)) ++dashed_rows;
    }
    EXPECT_EQ(dashed_rows, 2) << "page " << i;
  }
}

TEST(ReceiptRendererTest, StatusTrafficAloneMakesNoPage) {
  const Bytes traffic = Cat({Esc('@'), Gs('a', {0xFF}), Bytes{0x10, 0x04, 0x01}, Gs('r', {1}),
                             Bytes{0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 1, 2, 3, 4}});
  EXPECT_TRUE(Render(traffic).empty());
}

// GS h, GS w, GS H and alignment shape the barcode; both GS k forms and
// both EAN-13 lengths print the same symbol.
TEST(ReceiptRendererTest, BarcodesFollowTheirSettings) {
  LinearSymbol code39;
  std::string why;
  ASSERT_TRUE(EncodeBarcode(69, "1234567890", &code39, &why)) << why;
  const int modules = static_cast<int>(code39.bars.size());
  struct Case {
    const char* what;
    Bytes bytes;
    int width;
    int bar_rows;
    int hri;  // 0 none, 1 above, 2 below.
  };
  const Bytes nul_form = Cat({Gs('k', {4}), Text("1234567890"), Bytes{0}});
  const Bytes length_form = Barcode(69, "1234567890");
  const Case cases[] = {
      {"defaults", length_form, modules * 3, 162, 0},
      {"w2 h41", Cat({Gs('w', {2}), Gs('h', {41}), length_form}), modules * 2, 41, 0},
      {"NUL form", Cat({Gs('w', {2}), Gs('h', {41}), nul_form}), modules * 2, 41, 0},
      {"w1 h10 HRI below", Cat({Gs('w', {1}), Gs('h', {10}), Gs('H', {'2'}), length_form}), modules,
       10, 2},
      {"HRI above", Cat({Gs('w', {1}), Gs('h', {10}), Gs('H', {1}), length_form}), modules, 10, 1},
      {"w7 is ignored", Cat({Gs('w', {7}), Gs('h', {10}), length_form}), modules * 3, 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const GrayImage page = Page(Cat({Esc('a', {1}), c.bytes}));
    const InkBox all = FindInk(page);
    ASSERT_FALSE(all.empty());
    // The bars: the rows where the ink spans the whole symbol.
    const int bar_top = c.hri == 1 ? all.bottom + 1 - c.bar_rows : all.top;
    const InkBox bars = FindInk(page, 0, bar_top, page.width, bar_top + c.bar_rows);
    EXPECT_EQ(bars.width(), c.width);
    EXPECT_NEAR((bars.left + bars.right + 1) / 2, (kLeft + kRight) / 2, 2);
    if (c.hri == 0) {
      EXPECT_EQ(all.height(), c.bar_rows);
    } else {  // The HRI text adds a line of digits.
      EXPECT_GT(all.height(), c.bar_rows + 10);
      EXPECT_LE(all.height(), c.bar_rows + 4 + 24);
    }
  }
  EXPECT_EQ(Page(Cat({Gs('H', {2}), Barcode(67, "590123412345")})).pixels,
            Page(Cat({Gs('H', {2}), Barcode(67, kEan13)})).pixels);
}

TEST(ReceiptRendererTest, BadBarcodesAreNotPrintedAndSaySo) {
  struct Case {
    const char* what;
    Bytes bytes;
    const char* note;
  };
  Bytes unterminated = Gs('k', {4});
  unterminated.insert(unterminated.end(), 300, '1');
  const Case cases[] = {
      {"EAN-13 with a letter", Barcode(67, "59012341234A"), "EAN13 not printed"},
      {"EAN-13 wrong check digit", Barcode(67, "5901234123458"), "EAN13 not printed"},
      {"EAN-13 too short", Barcode(67, "59012"), "wrong data length"},
      {"CODE128 without code set", Barcode(73, "Hello"), "no code set selected"},
      {"CODE128 set C above 99", Cat({Gs('k', {73, 3}), Text("{C"), Bytes{100}}), "above 99"},
      {"CODE39 without NUL", unterminated, "no NUL terminator"},
      {"wider than the paper", Cat({Gs('w', {6}), Barcode(73, "{B" + std::string(40, 'x'))}),
       "dots wide"},
      {"unknown symbology", Barcode(79, "123"), "not supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> notes;
    EXPECT_TRUE(Render(c.bytes, &notes).empty());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find(c.note), std::string::npos) << notes[0];
  }
}

TEST(ReceiptRendererTest, Code128DataIsReadAsPrintersDo) {
  struct Case {
    std::string data;
    const char* text;  // nullptr: refused.
  };
  const Case cases[] = {
      {"{BHello", "Hello"},
      {"{B{{x", "{x"},
      {std::string("{C") + char(12) + char(34) + char(0), "123400"},
      {std::string("{A12{C") + char(56), "1256"},
      {"{B{1AB", "AB"},
      {"Hello", nullptr},
      {"{BA{Z", nullptr},
      {"{B", nullptr},
  };
  for (const Case& c : cases) {
    std::string text, why;
    const bool ok = Code128Text(c.data, &text, &why);
    EXPECT_EQ(ok, c.text != nullptr) << c.data;
    if (ok && c.text) {
      EXPECT_EQ(text, c.text);
    }
  }
}

TEST(ReceiptRendererTest, QrCodesUseTheStoredDataSizeAndLevel) {
  struct Case {
    uint8_t module;
    uint8_t level;
    uint8_t align;
  };
  for (const Case c : {Case{4, '0', 0}, Case{3, '3', 1}, Case{6, '1', 2}}) {
    SCOPED_TRACE(testing::Message() << "module " << int(c.module) << " level " << c.level);
    MatrixSymbol symbol;
    std::string why;
    ASSERT_TRUE(EncodeQr(kQrAddress, c.level - '0', &symbol, &why)) << why;
    const InkBox box =
        FindInk(Page(Cat({Esc('a', {c.align}), QrCode(kQrAddress, c.module, c.level)})));
    EXPECT_EQ(box.width(), symbol.size * c.module);
    EXPECT_EQ(box.height(), symbol.size * c.module);
    if (c.align == 0) {
      EXPECT_EQ(box.left, kLeft);
    }
    if (c.align == 2) {
      EXPECT_EQ(box.right + 1, kRight);
    }
  }
  // The test page's largest case: 253 bytes, pL 0 and pH 1.
  const Bytes big = QrCode(std::string(253, 'a'));
  ASSERT_EQ(big[16 + 3], 0);
  ASSERT_EQ(big[16 + 4], 1);
  EXPECT_FALSE(FindInk(Page(big)).empty());

  std::vector<std::string> notes;
  EXPECT_TRUE(Render(Gs('(', {'k', 3, 0, 49, 81, 48}), &notes).empty());
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "QR code not printed: no data stored");
}

void ExpectSanePages(const std::vector<RenderedPage>& pages) {
  for (const RenderedPage& page : pages) {
    ASSERT_EQ(page.image.width, ReceiptRenderer::kPaperWidth);
    ASSERT_GT(page.image.height, 0);
    ASSERT_LE(page.image.height, ReceiptRenderer::kMaxHeight);
    ASSERT_EQ(page.image.pixels.size(), size_t(page.image.width) * page.image.height);
  }
}

TEST(ReceiptRendererTest, EveryTruncationOfAReceiptRenders) {
  const Bytes receipt = SampleReceipt();
  for (size_t len = 0; len <= receipt.size(); ++len) {
    std::vector<RenderedPage> pages;
    RenderBytes(receipt.data(), len, &Glyphs(),
                [&](RenderedPage&& p) { pages.push_back(std::move(p)); });
    ExpectSanePages(pages);
    ASSERT_LE(pages.size(), 1u);
    if (len == receipt.size()) {
      EXPECT_TRUE(pages[0].cut);
    }
  }
}

TEST(ReceiptRendererTest, RandomBytesNeverCrashOrGrowPastTheLimits) {
  // Half random bytes, half command prefixes and their common codes, so that
  // many commands start with random parameters.
  static const uint8_t kHot[] = {0x1B, 0x1D, 0x1C, 0x10, '!',  'k', 'v', '0',
                                 '(',  'V',  'J',  '*',  'a',  'E', 'd', '3',
                                 0xFF, 0x00, '\n', 0xB0, 0xA1, 'h', 'w'};
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    Bytes data(rng() % 3000);
    for (uint8_t& b : data) b = rng() % 2 ? kHot[rng() % sizeof kHot] : rng() & 0xFF;
    std::vector<RenderedPage> pages;
    RenderBytes(data.data(), data.size(), &Glyphs(),
                [&](RenderedPage&& p) { pages.push_back(std::move(p)); });
    ExpectSanePages(pages);
  }
}

// Images of 10 MB and more stream through; what is off the paper is clipped
// and never stored.
TEST(ReceiptRendererTest, HugeRastersAreClipped) {
  struct Case {
    const char* what;
    uint16_t bytes_per_row;
    uint16_t rows;
    uint64_t sent;  // Less than declared: the image never ends.
    int height;     // Page height.
  };
  const Case cases[] = {
      {"10 MB, 8000 dots wide", 1000, 10000, 10'000'000, kTop + 10000 + 24 + 2 + 8},
      {"65535 rows", 72, 65535, 72ull * 65535, ReceiptRenderer::kMaxHeight},
      // 10 MB of 65535-byte rows reach into row 152.
      {"4 GB declared, 10 MB sent", 65535, 65535, 10'000'000, kTop + 153 + 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<RenderedPage> pages;
    ReceiptRenderer renderer(&Glyphs(), [&](RenderedPage&& p) { pages.push_back(std::move(p)); });
    const Bytes header = RasterHeader(c.bytes_per_row, c.rows);
    renderer.Feed(header.data(), header.size());
    const Bytes chunk(65536, 0xAA);
    for (uint64_t sent = 0; sent < c.sent; sent += chunk.size()) {
      renderer.Feed(chunk.data(), std::min<uint64_t>(chunk.size(), c.sent - sent));
    }
    renderer.Feed(kCut.data(), kCut.size());
    renderer.EndPage();
    ExpectSanePages(pages);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(pages[0].clipped);
    EXPECT_EQ(pages[0].image.height, c.height);
    EXPECT_EQ(pages[0].cut, c.sent == uint64_t{c.bytes_per_row} * c.rows);
    // Dots fill the printable width and nothing outside it.
    const GrayImage& page = pages[0].image;
    EXPECT_TRUE(Dark(page, kLeft, kTop));
    EXPECT_TRUE(Dark(page, kRight - 2, kTop));
    EXPECT_FALSE(Dark(page, kRight, kTop));
  }
}

}  // namespace
}  // namespace printersim
