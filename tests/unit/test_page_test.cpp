// The test page's bytes: the heading in both languages, the CODE39 block and
// its module-width fitting, the QR codes, the order of the writes, the result
// taken from the cut, and the banner's frame.
#include "app/test_page.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/texts.h"
#include "escpos/preview.h"
#include "links/escpos.h"
#include "tests/fakes/fake_app_port.h"
#include "tests/fakes/fake_platform.h"

namespace {

using app::Bytes;

Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct PageFixture : ::testing::Test {
  std::shared_ptr<fakes::AppPortRecord> record = std::make_shared<fakes::AppPortRecord>();
  fakes::FakeAppPort port{record};
  fakes::FakeSystem system;
};

const Bytes kTestBarcode = Cat({{0x1D, 0x77, 0x02, 0x1D, 0x68, 0x29, 0x1B, 0x61, 0x31, 0x1D, 0x48,
                                 0x32, 0x1D, 0x6B, 0x45, 0x0A},
                                B("1234567890")});

// The seven writes of one QR code of the test page's address.
std::vector<Bytes> TestQrWrites(uint8_t alignment) {
  const Bytes address = B("https://portrelay.example/");
  const auto stored = static_cast<uint8_t>(address.size() + 3);
  return {{0x1B, 0x61, alignment},
          {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x04},
          {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x30},
          {0x1D, 0x28, 0x6B, stored, 0x00, 0x31, 0x50, 0x30},
          address,
          {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30},
          {0x0D, 0x0A}};
}

TEST_F(PageFixture, EnglishPageIsWrittenPieceByPieceInOrder) {
  ASSERT_TRUE(app::WriteTestPage(port, "COM5", 1252, system));
  std::vector<Bytes> expected = {
      B("Print to COM5 port.\n\n"),
      B("If the printed string can be read, the printer can be used normally.\n"),
      {0x1B, 0x4A, 0x30},
      kTestBarcode,
      {0x1B, 0x4A, 0x30}};
  for (uint8_t alignment : {0x30, 0x31, 0x32})
    for (const Bytes& write : TestQrWrites(alignment)) expected.push_back(write);
  expected.push_back({0x1B, 0x61, 0x30});
  expected.push_back({0x1D, 0x56, 0x42, 0x00});
  EXPECT_EQ(record->writes, expected);
}

// What the relay's job preview shows of the page and of the banner.
TEST_F(PageFixture, PreviewShowsTheHeadingTheCodesAndTheBanner) {
  ASSERT_TRUE(app::WriteTestPage(port, "COM5", 1252, system));
  std::string job;
  for (const Bytes& write : record->writes) job.append(write.begin(), write.end());
  const auto toUtf8 = [&](std::string_view b, unsigned cp) {
    return system.ToUtf8(std::string(b), cp);
  };
  const std::string qr = "[QR: " + std::string(app::kTestQrAddress) + "]\n";
  EXPECT_EQ(escpos::PreviewText(job, 437, toUtf8),
            core::FormatText(core::texts::kTestPageLine1.english, "COM5") +
                core::texts::kTestPageLine2.english + "[CODE39: " + app::kTestBarcodeData + "]\n" +
                qr + qr + qr + "[cut]");
  const std::string banner(app::TestPageImage.begin(), app::TestPageImage.end());
  EXPECT_TRUE(escpos::PreviewText(banner, 437, toUtf8).starts_with("[image 512×309]"));
}

TEST_F(PageFixture, KoreanHeadingWithCodePage949) {
  app::WriteTestPage(port, "COM5", 949, system);
  ASSERT_GE(record->writes.size(), 2u);
  EXPECT_EQ(record->writes[0], B("COM5로 인쇄합니다.\n\n"));
  EXPECT_EQ(record->writes[1],
            B("출력되는 문자열을 읽을 수 있으면 정상적으로 프린터를 사용할 수 있습니다.\n"));
}

TEST_F(PageFixture, HeadingLineIsCutToItsBuffer) {
  app::WriteTestPage(port, std::string(300, 'X'), 1252, system);
  EXPECT_EQ(record->writes[0].size(), 255u);
}

// Only the cut decides: earlier refusals do not, a refused cut does.
TEST_F(PageFixture, ResultIsTheCutsWrite) {
  const Bytes cut{0x1D, 0x56, 0x42, 0x00};
  record->failWrite = [&](int, const Bytes& bytes) { return bytes != cut; };
  EXPECT_TRUE(app::WriteTestPage(port, "COM5", 1252, system));
  record->failWrite = [&](int, const Bytes& bytes) { return bytes == cut; };
  EXPECT_FALSE(app::WriteTestPage(port, "COM5", 1252, system));
}

struct ModuleWidthCase {
  std::size_t length;
  int width;
  int module;
};

class Code39Fitting : public ::testing::TestWithParam<ModuleWidthCase> {};

TEST_P(Code39Fitting, PicksTheWidestModuleThatFits) {
  const ModuleWidthCase& c = GetParam();
  EXPECT_EQ(app::Code39ModuleWidth(c.length, c.width), c.module);
  const Bytes block = app::BarcodeBytes(std::string(c.length, '7'), links::kCode39, 40, c.width,
                                        app::kAlignCentre, app::kHriBelow);
  ASSERT_GE(block.size(), 3u);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 3), (Bytes{0x1D, 0x77, uint8_t(c.module)}));
}

INSTANTIATE_TEST_SUITE_P(
    Widths, Code39Fitting,
    ::testing::Values(ModuleWidthCase{10, 512, 2},  // 361 dots fit, 559 do not
                      ModuleWidthCase{30, 512, 1},  // even width 2 (964 dots) is too wide
                      ModuleWidthCase{10, 3, 3},    // 6 or less is the module width itself
                      ModuleWidthCase{10, 6, 6},
                      ModuleWidthCase{10, 600, 3},   // 559 leaves 41, 361 leaves 239
                      ModuleWidthCase{2, 410, 6},    // 4 x 102.4: exactly the target
                      ModuleWidthCase{10, 360, 1}),  // 361 is one dot too many
    [](const auto& info) {
      return "Len" + std::to_string(info.param.length) + "Width" + std::to_string(info.param.width);
    });

TEST(Barcode, TestPageBlockIsExact) {
  EXPECT_EQ(
      app::BarcodeBytes("1234567890", links::kCode39, 40, 512, app::kAlignCentre, app::kHriBelow),
      kTestBarcode);
}

TEST(Barcode, HeightAlignmentAndHriArguments) {
  const Bytes block =
      app::BarcodeBytes("12", links::kCode39, 300, 2, app::kAlignRight, app::kHriAbove);
  EXPECT_EQ(block, Cat({{0x1D, 0x77, 0x02, 0x1D, 0x68, 0xFF, 0x1B, 0x61, 0x32, 0x1D, 0x48, 0x31,
                         0x1D, 0x6B, 0x45, 0x02},
                        B("12")}));
  EXPECT_EQ(app::BarcodeBytes("12", links::kCode39, 40, 2, 7, app::kHriNone)[8], 0x31);
}

TEST_F(PageFixture, BarcodeWithAnUnknownHriPositionSendsNothing) {
  EXPECT_FALSE(app::EmitBarcode(port, "12", links::kCode39, 40, 512, app::kAlignCentre, 3));
  EXPECT_TRUE(record->writes.empty());
}

TEST_F(PageFixture, QrCodeOf253BytesCarriesItsLengthInPlAndPh) {
  app::EmitQrCode(port, std::string(253, 'q'), 0, 4, 0, app::kAlignCentre);
  ASSERT_EQ(record->writes.size(), 7u);
  EXPECT_EQ(record->writes[3], (Bytes{0x1D, 0x28, 0x6B, 0x00, 0x01, 0x31, 0x50, 0x30}));
  EXPECT_EQ(record->writes[4].size(), 253u);
}

TEST_F(PageFixture, QrCodeLengthArgumentLimitsTheData) {
  app::EmitQrCode(port, "https://portrelay.example/", 5, 4, 1, app::kAlignLeft);
  ASSERT_EQ(record->writes.size(), 7u);
  EXPECT_EQ(record->writes[2].back(), 0x31);  // error-correction level 48 + 1
  EXPECT_EQ(record->writes[3][3], 8);         // 5 + 3
  EXPECT_EQ(record->writes[4], B("https"));
}

TEST_F(PageFixture, TheThreeQrCodesDifferOnlyInTheirAlignment) {
  app::WriteTestPage(port, "COM5", 1252, system);
  ASSERT_EQ(record->writes.size(), 28u);
  const std::vector<Bytes> left(record->writes.begin() + 5, record->writes.begin() + 12);
  const std::vector<Bytes> centre(record->writes.begin() + 12, record->writes.begin() + 19);
  const std::vector<Bytes> right(record->writes.begin() + 19, record->writes.begin() + 26);
  EXPECT_EQ(left, TestQrWrites(0x30));
  EXPECT_EQ(centre, TestQrWrites(0x31));
  EXPECT_EQ(right, TestQrWrites(0x32));
}

TEST(TestPageImage, RasterHeaderRowsAndTrailer) {
  const auto& image = app::TestPageImage;
  ASSERT_EQ(image.size(), 19790u);
  EXPECT_EQ(Bytes(image.begin(), image.begin() + 8),
            (Bytes{0x1D, 0x76, 0x30, 0x00, 0x40, 0x00, 0x35, 0x01}));
  EXPECT_EQ(Bytes(image.end() - 6, image.end()), (Bytes{0x00, 0x1B, 0x33, 0x00, 0x00, 0x0A}));
  // A drawing, not an empty or solid block: the frame's top-left corner is
  // white, and between a tenth and a half of the dots are black.
  long black = 0;
  for (std::size_t i = 8; i < 8 + 64 * 309; ++i) black += __builtin_popcount(image[i]);
  EXPECT_EQ(image[8] & 0x80, 0);
  EXPECT_GT(black, 512L * 309 / 10);
  EXPECT_LT(black, 512L * 309 / 2);
}

}  // namespace
