// printer-sim --render as a separate process fed over TCP on the loopback:
// the pictures it writes decode with an independent reader (zbarimg), show
// the Korean text, follow the printer's state, and junk or a 10 MB raster
// leave it running with bounded memory.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/sim/ink.h"
#include "tests/sim/receipts.h"
#include "tests/sim/sim_test_env.h"
#include "tests/sim/tcp_test_client.h"
#include "tools/printer-sim/render/receipt_renderer.h"
#include "tools/printer-sim/render/symbols.h"
#include "tools/printer-sim/sim_process.h"

namespace printersim {
namespace {

using namespace std::chrono_literals;
using namespace receipts;

// The file named by a "render FILE WxH ..." event.
std::string RenderedFile(const std::string& line) { return line.substr(7, line.find(' ', 7) - 7); }

// zbarimg's "TYPE:DATA" lines for a picture (bounded by timeout(1)).
std::vector<std::string> Decode(const std::string& png) {
  const std::string command = "timeout 30 zbarimg -q '" + png + "' 2>/dev/null";
  std::vector<std::string> lines;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return lines;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) {
    std::string line(buf);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    lines.push_back(line);
  }
  ::pclose(pipe);
  return lines;
}

// Peak resident memory of a process in kB, -1 when unknown.
long PeakKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    long value;
    if (key == "VmHWM:" && status >> value) return value;
  }
  return -1;
}

struct RenderingSim {
  explicit RenderingSim(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--tcp", "127.0.0.1:0", "--render", dir.path()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string error;
    EXPECT_EQ(sim.Start(SimBinaryPath(), args, &error), 0) << error;
  }
  ScratchDir dir;
  SimProcess sim;
};

TEST(RenderBinaryTest, ReceiptPictureDecodesWithZbarimgAndShowsTheKoreanLine) {
  RenderingSim r;
  TcpTestClient host;
  ASSERT_EQ(host.Connect(r.sim.port()), 0);
  ASSERT_TRUE(host.Send(SampleReceipt()));
  const auto line = r.sim.events().Next("render ", 10s);
  ASSERT_TRUE(line) << r.sim.events().Dump();
  EXPECT_TRUE(line->ends_with(" cut")) << *line;
  const std::string png = RenderedFile(*line);
  EXPECT_EQ(png, r.dir.File("job-0001.png"));

  const auto symbols = Decode(png);
  auto count = [&](const std::string& s) { return std::count(symbols.begin(), symbols.end(), s); };
  EXPECT_EQ(count("CODE-39:1234567890"), 1) << testing::PrintToString(symbols);
  EXPECT_EQ(count(std::string("CODE-128:") + kCode128Text), 1) << testing::PrintToString(symbols);
  EXPECT_EQ(count(std::string("EAN-13:") + kEan13), 1) << testing::PrintToString(symbols);
  EXPECT_EQ(count(std::string("QR-Code:") + kQrAddress), 3) << testing::PrintToString(symbols);
  EXPECT_EQ(symbols.size(), 6u) << testing::PrintToString(symbols);

  // The first line, "한글 영수증": ink in each syllable's 24-dot cell, none in the space.
  GrayImage image;
  std::string error;
  ASSERT_EQ(ReadPng(png, &image, &error), 0) << error;
  const int left = ReceiptRenderer::kSideMargin;
  const int top = ReceiptRenderer::kTopMargin;
  for (int x : {0, 24, 60, 84, 108}) {
    EXPECT_GT(CountInk(image, left + x, top, left + x + 24, top + 24), 40u) << "syllable at " << x;
  }
  EXPECT_EQ(CountInk(image, left + 48, top, left + 60, top + 24), 0u);
  EXPECT_EQ(CountInk(image, left + 132, top, image.width, top + 24), 0u);
}

// A QR code rasterised by the client, 4 dots a module, as 1-bit rows.
Bytes QrPicture(const std::string& data, int* width) {
  MatrixSymbol qr;
  std::string why;
  EXPECT_TRUE(EncodeQr(data, 1, &qr, &why)) << why;
  constexpr int kDots = 4, kQuiet = 4;
  *width = (qr.size + 2 * kQuiet) * kDots;
  const int bytes = (*width + 7) / 8;
  Bytes rows(static_cast<size_t>(bytes) * *width, 0);
  for (int y = 0; y < *width; ++y) {
    for (int x = 0; x < *width; ++x) {
      const int mx = x / kDots - kQuiet, my = y / kDots - kQuiet;
      if (mx >= 0 && my >= 0 && mx < qr.size && my < qr.size && qr.modules[my * qr.size + mx])
        rows[static_cast<size_t>(y) * bytes + x / 8] |= 0x80 >> (x % 8);
    }
  }
  return rows;
}

// What client libraries send besides GS ( k and GS v 0: QR codes as stored
// graphics (GS ( L / GS 8 L fn 112, printed by fn 50), columns by absolute
// position (ESC $), and ESC Z after GS Z 2 for a QR code.
TEST(RenderBinaryTest, StoredGraphicsAndAbsoluteColumnsAreDrawn) {
  int width = 0;
  const std::string first = "https://example.com/stored/1", second = "https://example.com/stored/2";
  const Bytes qr1 = QrPicture(first, &width);
  const Bytes qr2 = QrPicture(second, &width);
  const std::string third = "https://example.com/esc-z";
  const Bytes receipt =
      Cat({Esc('@'), Text("Coffee"), At(400), Text("2.50\n"), Text("Tea"), At(480), Text("1.80\n"),
           StoredGraphics(width, width, qr1, false), StoredGraphics(width, width, qr2, true),
           Gs('Z', {2}), Esc('Z', {0, 'M', 4, static_cast<uint8_t>(third.size()), 0}), Text(third),
           Text("\n"), kCut});
  RenderingSim r;
  TcpTestClient host;
  ASSERT_EQ(host.Connect(r.sim.port()), 0);
  ASSERT_TRUE(host.Send(receipt));
  const auto line = r.sim.events().Next("render ", 10s);
  ASSERT_TRUE(line) << r.sim.events().Dump();
  const std::string png = RenderedFile(*line);
  const auto symbols = Decode(png);
  for (const std::string& data : {first, second, third}) {
    EXPECT_EQ(std::count(symbols.begin(), symbols.end(), "QR-Code:" + data), 1)
        << data << testing::PrintToString(symbols);
  }
  // Each price starts at its ESC $ position; nothing between the name and it.
  GrayImage image;
  std::string error;
  ASSERT_EQ(ReadPng(png, &image, &error), 0) << error;
  const int left = ReceiptRenderer::kSideMargin, top = ReceiptRenderer::kTopMargin;
  const int spacing = ReceiptRenderer::kDefaultLineSpacing;
  const struct { int name_chars, x, top; } columns[] = {{6, 400, top}, {3, 480, top + spacing}};
  for (const auto& c : columns) {
    const InkBox price =
        FindInk(image, left + c.name_chars * 12 + 2, c.top, image.width, c.top + 24);
    EXPECT_NEAR(price.left, left + c.x, 3) << "column at " << c.x;
    EXPECT_EQ(CountInk(image, left + c.name_chars * 12 + 2, c.top, left + c.x - 1, c.top + 24), 0u);
  }
}

// A job sent while the cover is open prints, and is drawn, when it closes;
// without a cut the pause ends it.
TEST(RenderBinaryTest, AHeldJobIsDrawnWhenItPrints) {
  RenderingSim r({"--render-gap", "200"});
  ASSERT_EQ(r.sim.Send("cover open"), 0);
  ASSERT_TRUE(r.sim.events().Next("state cover=open", 5s));
  TcpTestClient host;
  ASSERT_EQ(host.Connect(r.sim.port()), 0);
  ASSERT_TRUE(host.Send(Text("Held job\n")));
  ASSERT_TRUE(r.sim.events().Next("rx 9 ", 5s));
  EXPECT_FALSE(r.sim.events().Next("render ", 800ms)) << "drawn before it was printed";
  ASSERT_EQ(r.sim.Send("cover close"), 0);
  const auto line = r.sim.events().Next("render ", 5s);
  ASSERT_TRUE(line) << r.sim.events().Dump();
  EXPECT_TRUE(line->ends_with(" pause")) << *line;
  ASSERT_TRUE(host.Send(Cat({Text("Second\n"), kCut})));
  const auto second = r.sim.events().Next("render ", 5s);
  ASSERT_TRUE(second);
  EXPECT_EQ(RenderedFile(*second), r.dir.File("job-0002.png"));
}

TEST(RenderBinaryTest, JunkAndATenMegabyteRasterKeepItRunningInBoundedMemory) {
  RenderingSim r;
  {
    TcpTestClient junk;
    ASSERT_EQ(junk.Connect(r.sim.port()), 0);
    std::mt19937 rng(14);
    Bytes bytes(1 << 20);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    ASSERT_TRUE(junk.Send(bytes));
  }
  // A new connection starts clean even if the junk ended inside a command.
  ASSERT_TRUE(r.sim.events().Next("conn close", 30s));
  TcpTestClient host;
  ASSERT_EQ(host.Connect(r.sim.port()), 0);
  const uint16_t bytes_per_row = 1000, rows = 10000;  // 8000 dots wide: 10 MB.
  // ESC @ and a cut close whatever the junk left on the paper.
  Bytes raster = Cat({Esc('@'), Gs('V', {0}), RasterHeader(bytes_per_row, rows)});
  raster.resize(raster.size() + size_t{bytes_per_row} * rows, 0x55);
  ASSERT_TRUE(host.Send(Cat({raster, kCut})));
  const int height = ReceiptRenderer::kTopMargin + rows + 24 + 2 + ReceiptRenderer::kBottomMargin;
  const std::string wanted = " 640x" + std::to_string(height) + " cut clipped";
  std::optional<std::string> line;
  while ((line = r.sim.events().Next("render ", 60s)) && !line->ends_with(wanted)) {
  }
  ASSERT_TRUE(line) << "no picture of the raster\n" << r.sim.events().Dump();
  GrayImage image;
  std::string error;
  ASSERT_EQ(ReadPng(RenderedFile(*line), &image, &error), 0) << error;
  EXPECT_EQ(CountInk(image, 0, 0, ReceiptRenderer::kSideMargin, rows), 0u);
  EXPECT_GT(CountInk(image), size_t{288} * rows);

  // Still answering, and never near the size of what it was sent.
  ASSERT_TRUE(host.Send({0x10, 0x04, 0x01}));
  EXPECT_EQ(host.Read(1, 5s).size(), 1u);
  const long peak = PeakKb(r.sim.pid());
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const long limit = 400 * 1024;  // Sanitizer shadow memory and quarantine.
#else
  const long limit = 80 * 1024;
#endif
  EXPECT_GT(peak, 0);
  RecordProperty("peak_kb", std::to_string(peak));
  EXPECT_LT(peak, limit) << "peak resident memory in kB";
  const int status = r.sim.Terminate(5s);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace printersim
