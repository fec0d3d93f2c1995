// The demo's receipt as pos-send writes it (--receipt demo); the decoder's
// tests preview the same bytes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace posdemo {

inline void Append(std::vector<uint8_t>& out, std::initializer_list<int> bytes) {
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
}
inline void Append(std::vector<uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

inline constexpr char kDemoOrderCode[] = "{BORDER-0042";  // CODE128, code set B.
inline constexpr char kDemoOrderLink[] = "https://kelvo.example/o/0042";

// A café receipt: initialise, automatic status on, centred bold header, item
// lines, a CODE128 barcode, a QR code with the order link, feed and cut.
inline std::vector<uint8_t> DemoReceipt() {
  std::vector<uint8_t> r;
  Append(r, {0x1B, 0x40});        // ESC @ initialise
  Append(r, {0x1D, 0x61, 0xFF});  // GS a 255 automatic status back
  Append(r, {0x1B, 0x61, 0x01});  // centre
  Append(r, {0x1B, 0x45, 0x01});  // bold on
  Append(r, "KELVO CAFE\n");
  Append(r, {0x1B, 0x45, 0x00});
  Append(r, "12 Harbour Road\n\n");
  Append(r, {0x1B, 0x61, 0x00});  // left
  Append(r, "2 x Americano          7.00\n");
  Append(r, "1 x Croissant          3.20\n");
  Append(r, "--------------------------\n");
  Append(r, "TOTAL                 10.20\n\n");
  Append(r, {0x1D, 0x68, 0x50});  // GS h barcode height 80
  Append(r, {0x1D, 0x77, 0x02});  // GS w module width 2
  Append(r, {0x1D, 0x48, 0x02});  // GS H text below
  const std::string code = kDemoOrderCode;
  Append(r, {0x1D, 0x6B, 0x49, static_cast<int>(code.size())});  // GS k CODE128
  Append(r, code);
  Append(r, "\n");
  const std::string url = kDemoOrderLink;
  const int len = static_cast<int>(url.size()) + 3;
  Append(r, {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00});      // QR model 2
  Append(r, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x06});            // module size 6
  Append(r, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x31});            // error level M
  Append(r, {0x1D, 0x28, 0x6B, len & 0xFF, len >> 8, 0x31, 0x50, 0x30});  // store data
  Append(r, url);
  Append(r, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});  // print the symbol
  Append(r, "\nThank you!\n");
  Append(r, {0x1B, 0x64, 0x04});        // feed 4 lines
  Append(r, {0x1D, 0x56, 0x41, 0x03});  // GS V partial cut
  return r;
}

}  // namespace posdemo
