// The text preview of a job: each kind of command as it reads, Korean and
// code page 437 text through this build's conversion, the demo's receipt,
// and the bounds (binary never shown, huge jobs cut).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "escpos/preview.h"
#include "platform/platform.h"
#include "tools/pos-send/demo_receipt.h"

namespace {

using std::string;

string Preview(const string& job, unsigned codePage = 949) {
  platform::System& system = *platform::Native().system;
  return escpos::PreviewText(
      job, codePage, [&](std::string_view b, unsigned cp) { return system.ToUtf8(string(b), cp); });
}

string Le(int n) { return string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8)}; }
// GS v 0 of `bytesPerRow` x `rows`, its data full of line ends and ESC look-alikes.
string Raster(int bytesPerRow, int rows) {
  return "\x1Dv0" + string(1, '\0') + Le(bytesPerRow) + Le(rows) +
         string(static_cast<size_t>(bytesPerRow) * rows, '\n');
}
// GS ( L / GS 8 L fn 112 of a `width` x `height` dot image, then fn 50.
string StoredGraphics(int width, int height, bool gs8) {
  const size_t data = static_cast<size_t>((width + 7) / 8) * height;
  const string store =
      "0p0\x01\x01"
      "1" +
      Le(width) + Le(height) + string(data, '\x1B');
  const size_t n = store.size();
  const string head = gs8 ? "\x1D"
                            "8L" +
                                Le(static_cast<int>(n & 0xFFFF)) + Le(static_cast<int>(n >> 16))
                          : "\x1D(L" + Le(static_cast<int>(n));
  return head + store + "\x1D(L" + Le(2) + "02";
}
string QrStore(const string& data) {
  return "\x1D(k" + Le(static_cast<int>(data.size()) + 3) + "1P0" + data;
}
const string kQrPrint = string(
    "\x1D(k\x03\x00"
    "1Q0",
    8);

TEST(EscposPreviewTest, EachCommandReadsAsThePrinterPrintsIt) {
  struct Row {
    const char* what;
    string job;
    string preview;
    unsigned codePage = 949;
  };
  const Row rows[] = {
      {"LF and CR LF end lines", "Coffee\r\nTea\nCake", "Coffee\nTea\nCake"},
      {"empty lines show once, trailing ones not", "A\n\n\n\nB\n\n\n", "A\n\nB"},
      {"ESC d and ESC J end a line, feed no empty ones",
       "A\x1B"
       "d\x03"
       "B\x1BJ0\x1BJ0C",
       "A\nB\nC"},
      {"Korean in code page 949", "\xC7\xD1\xB1\xDB \xBF\xB5\xBC\xF6\xC1\xF5\n", "한글 영수증"},
      {"FS . turns double bytes off: code page 437", "\x1C.\xC4\xB0\x1C&\xC7\xD1", "─░한"},
      {"code page 437",
       "\xC4\xC4 \x9C"
       "5",
       "── £5", 437},
      {"tabs to the next 8 columns", "ab\tc", "ab      c"},
      {"cuts", "Bye\n\x1DVB" + string(1, '\0') + "\x1Bi\x1DV1", "Bye\n[cut]\n[cut]\n[cut]"},
      {"CODE39, NUL form",
       "\x1Dk\x04"
       "123" +
           string(1, '\0'),
       "[CODE39: 123]"},
      {"CODE128 reads without its code sets", "\x1Dk\x49\x09{BAB-{C\x0C\x22", "[CODE128: AB-1234]"},
      {"EAN13, counted form; the line end after a code adds nothing",
       "\x1Dk\x43\x0C"
       "590123412345\nNext",
       "[EAN13: 590123412345]\nNext"},
      {"QR code stored then printed", QrStore("https://a.example/x") + kQrPrint,
       "[QR: https://a.example/x]"},
      {"QR data stored, never printed", QrStore("secret"), ""},
      {"PDF417", "\x1D(k" + Le(6) + "0P0abc" + "\x1D(k" + Le(3) + "0Q0", "[PDF417: abc]"},
      {"ESC Z after GS Z 2 (QR)", "\x1DZ\x02\x1BZ\x03L\x06" + Le(5) + "hello", "[QR: hello]"},
      {"long code data is cut", QrStore(string(300, 'x')) + kQrPrint,
       "[QR: " + string(escpos::kMaxDataShown, 'x') + "\u2026]"},
      {"GS v 0 raster: its data is never text", "Logo\n" + Raster(48, 120) + "End",
       "Logo\n[image 384×120]\nEnd"},
      {"GS ( L fn 112 + fn 50", StoredGraphics(200, 64, false), "[image 200×64]"},
      {"GS 8 L fn 112 + fn 50", StoredGraphics(384, 384, true), "[image 384×384]"},
      {"other graphics functions are skipped by length",
       "\x1D(L" + Le(6) + "0C0\n\nX" + "\x1D(L" + Le(4) + "0A\n\n" +
           "\x1D"
           "8L" +
           Le(4) + Le(0) + "0B\n\nOK",
       "OK"},
      {"ESC * bands one under the other are one image",
       "\x1B"
       "3" +
           string(1, '\0') + "\x1B*!" + Le(100) + string(300, '\n') + "\n\x1B*!" + Le(100) +
           string(300, '\x1D') +
           "\n\x1B"
           "2Text",
       "[image 100×48]\nText"},
      {"FS p and GS ( L fn 69 print stored images",
       string("\x1Cp\x01\x00", 4) + "\x1D(L" + Le(6) + "0E  \x01\x01",
       "[stored image]\n[stored image]"},
      {"ESC $ places columns (12 dots a column)", "Coffee\x1B$" + Le(360) + "2.50\n",
       "Coffee" + string(24, ' ') + "2.50"},
      {"ESC $ behind the text still parts the columns", "Croissant\x1B$" + Le(12) + "3.20",
       "Croissant 3.20"},
      {"ESC \\ moves right", "A\x1B\\" + Le(48) + "B", "A    B"},
      {"GS L and GS W print nothing", "\x1DL" + Le(40) + "\x1DW" + Le(400) + "Text", "Text"},
      {"unknown command and control bytes are counted in place",
       "A\x1B\xF0"
       "B\x01\x02"
       "C",
       "A[unknown bytes: 2]B[unknown bytes: 2]C"},
      {"a command cut off at the job's end is counted",
       "Text\n\x1Dv0" + string(1, '\0') + Le(10) + Le(10) + "abc", "Text\n[unknown bytes: 11]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Preview(row.job, row.codePage), row.preview);
  }
}

TEST(EscposPreviewTest, TheTextsCodePageIsReadOffTheJob) {
  const struct {
    const char* what;
    string job;
    unsigned codePage;
  } rows[] = {
      {"plain ASCII: the fallback", "TOTAL 10.20\n", 1252},
      {"Korean pairs", "\xBF\xB5\xBC\xF6\xC1\xF5\n", 949},
      {"437 box drawing and accents", "\xC9\xCD\xBB caf\x82\n", 437},
      {"a lead byte cut off by a line end", "\xB0\n", 437},
      {"FS . says single-byte", "\x1C.\xBF\xB5", 437},
      {"FS & says double-byte", "\x1C&\x82 ", 949},
      {"image bytes are no text", Raster(2, 2) + "\xBF\xB5", 949},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(escpos::TextCodePage(row.job, 1252), row.codePage);
  }
}

TEST(EscposPreviewTest, TheDemoReceiptShowsItsTextCodeAndQr) {
  const auto bytes = posdemo::DemoReceipt();
  EXPECT_EQ(Preview(string(bytes.begin(), bytes.end())),
            "KELVO CAFE\n"
            "12 Harbour Road\n"
            "\n"
            "2 x Americano          7.00\n"
            "1 x Croissant          3.20\n"
            "--------------------------\n"
            "TOTAL                 10.20\n"
            "\n"
            "[CODE128: ORDER-0042]\n"
            "[QR: " +
                string(posdemo::kDemoOrderLink) +
                "]\n"
                "Thank you!\n"
                "[cut]");
}

TEST(EscposPreviewTest, AnyBytesGiveBoundedPrintableUtf8) {
  std::mt19937 random(42);
  string junk(2 << 20, '\0');
  for (char& c : junk) c = static_cast<char>(random());
  const string huge(8 << 20, 'x');
  for (const string& job : {junk, huge, string(1 << 20, '\n') + "end", string(200000, '\x01')}) {
    const string preview = Preview(job);
    EXPECT_LE(preview.size(), escpos::kMaxPreviewBytes + escpos::kPreviewCut.size() + 1);
    for (char c : preview) ASSERT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n');
  }
  EXPECT_TRUE(Preview(huge).ends_with(escpos::kPreviewCut));
  // A pair the conversion takes whole and still refuses (glibc's CP949).
  for (const string& job : {string("A\xA2\xE8"), string("A\xA2\xE8Z")}) {
    const string preview = Preview(job);
    EXPECT_TRUE(preview.starts_with("A") && preview.size() < 12) << preview;
    EXPECT_EQ(preview.ends_with("Z"), job.ends_with("Z")) << preview;
  }
}

}  // namespace
