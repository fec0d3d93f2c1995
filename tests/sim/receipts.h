// ESC/POS byte builders shared by the rendering tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace printersim::receipts {

using Bytes = std::vector<uint8_t>;

inline constexpr char kQrAddress[] = "https://example.com/portrelay";
inline constexpr char kCode128Text[] = "PR-2024-0042";
inline constexpr char kEan13[] = "5901234123457";
// "한글 영수증" in code page 949: five syllables and a space.
inline constexpr char kKoreanCp949[] = "\xC7\xD1\xB1\xDB \xBF\xB5\xBC\xF6\xC1\xF5";

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Esc(char code, std::initializer_list<uint8_t> params = {}) {
  Bytes out(2 + params.size());
  out[0] = 0x1B;
  out[1] = static_cast<uint8_t>(code);
  std::copy(params.begin(), params.end(), out.begin() + 2);
  return out;
}

inline Bytes Gs(char code, std::initializer_list<uint8_t> params = {}) {
  Bytes out(2 + params.size());
  out[0] = 0x1D;
  out[1] = static_cast<uint8_t>(code);
  std::copy(params.begin(), params.end(), out.begin() + 2);
  return out;
}

// GS k in the length form (m 65..).
inline Bytes Barcode(uint8_t m, std::string_view data) {
  return Cat({Gs('k', {m, static_cast<uint8_t>(data.size())}), Text(data)});
}

// GS ( k: store `data` (fn 180), then print it (fn 181), with module size
// and error level as the test page sends them.
inline Bytes QrCode(std::string_view data, uint8_t module = 4, uint8_t level = '0') {
  const size_t n = data.size() + 3;
  return Cat(
      {Gs('(', {'k', 3, 0, 49, 67, module}), Gs('(', {'k', 3, 0, 49, 69, level}),
       Gs('(', {'k', static_cast<uint8_t>(n % 256), static_cast<uint8_t>(n / 256), 49, 80, 48}),
       Text(data), Gs('(', {'k', 3, 0, 49, 81, 48})});
}

// GS v 0 header of an image `bytes_per_row` x `rows`.
inline Bytes RasterHeader(uint16_t bytes_per_row, uint16_t rows, uint8_t mode = 0) {
  return Gs('v', {'0', mode, static_cast<uint8_t>(bytes_per_row & 0xFF),
                  static_cast<uint8_t>(bytes_per_row >> 8), static_cast<uint8_t>(rows & 0xFF),
                  static_cast<uint8_t>(rows >> 8)});
}

inline const Bytes kCut = {0x1D, 0x56, 0x42, 0x00};

// ESC $: the next character at `x` dots from the line's start.
inline Bytes At(uint16_t x) {
  return Esc('$', {static_cast<uint8_t>(x & 0xFF), static_cast<uint8_t>(x >> 8)});
}

// A 1-bit picture as GS ( L (or GS 8 L) fn 112 stores it in the print buffer
// (`rows` of (width + 7) / 8 bytes), then fn 50 prints it.
inline Bytes StoredGraphics(int width, int height, const Bytes& rows, bool gs8) {
  const auto lo = [](size_t v) { return static_cast<uint8_t>(v & 0xFF); };
  const auto hi = [](size_t v) { return static_cast<uint8_t>((v >> 8) & 0xFF); };
  const Bytes store =
      Cat({{48, 112, 48, 1, 1, 49, lo(width), hi(width), lo(height), hi(height)}, rows});
  const size_t n = store.size();
  const Bytes head =
      gs8 ? Gs('8', {'L', lo(n), hi(n), lo(n >> 16), hi(n >> 16)}) : Gs('(', {'L', lo(n), hi(n)});
  return Cat({head, store, Gs('(', {'L', 2, 0, 48, 50})});
}

// A whole receipt: a Korean line on top, text in several modes, CODE39 as
// the test page prints it, CODE128, EAN-13, three QR codes (left, centre,
// right), a raster logo and the cut.
inline Bytes SampleReceipt() {
  Bytes logo = RasterHeader(16, 48);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 16; ++x) logo.push_back((y / 8 + x) % 2 ? 0xFF : 0x00);
  }
  Bytes qr_codes;
  for (uint8_t align : {'0', '1', '2'}) {
    qr_codes = Cat({qr_codes, Esc('a', {align}), QrCode(kQrAddress), Text("\r\n")});
  }
  return Cat({
      Esc('@'),
      Text(kKoreanCp949),
      Text("\n"),
      Esc('a', {1}),
      Gs('!', {0x11}),
      Text("PORTRELAY\n"),
      Gs('!', {0}),
      Esc('E', {1}),
      Text("Receipt 0042\n"),
      Esc('E', {0}),
      Esc('a', {0}),
      Text("Coffee            2     8,000\n"),
      Esc('J', {48}),
      // The CODE39 block exactly as the port check's test page sends it.
      Gs('w', {2}),
      Gs('h', {41}),
      Esc('a', {'1'}),
      Gs('H', {'2'}),
      Barcode(69, "1234567890"),
      Esc('J', {48}),
      Gs('h', {80}),
      Barcode(73, std::string("{B") + kCode128Text),
      Esc('J', {32}),
      Gs('k', {2}),
      Text(std::string_view(kEan13, 12)),
      Bytes{0},
      Esc('J', {48}),
      qr_codes,
      Esc('a', {1}),
      logo,
      Text("\n"),
      Esc('a', {0}),
      Text("Thank you\n"),
      kCut,
  });
}

}  // namespace printersim::receipts
