// Barcode and symbol names of the ESC/POS command set.
#include "escpos/barcode.h"

namespace escpos {

const char* BarcodeName(uint8_t m) {
  static constexpr const char* kOld[] = {"UPC-A",  "UPC-E", "EAN13",  "EAN8",
                                         "CODE39", "ITF",   "CODABAR"};
  static constexpr const char* kNew[] = {"UPC-A",           "UPC-E",
                                         "EAN13",           "EAN8",
                                         "CODE39",          "ITF",
                                         "CODABAR",         "CODE93",
                                         "CODE128",         "GS1-128",
                                         "DATABAR",         "DATABAR-TRUNCATED",
                                         "DATABAR-LIMITED", "DATABAR-EXPANDED",
                                         "CODE128-AUTO"};
  if (m <= 6) return kOld[m];
  if (m >= 65 && m <= 79) return kNew[m - 65];
  return nullptr;
}

const char* SymbolName(uint8_t cn) {
  static constexpr const char* kNames[] = {"PDF417",    "QR",    "MAXICODE",  "DATABAR",
                                           "COMPOSITE", "AZTEC", "DATAMATRIX"};
  return cn >= 48 && cn <= 54 ? kNames[cn - 48] : nullptr;
}

bool Code128Text(std::string_view data, std::string* text, std::string* why) {
  text->clear();
  char set = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    const auto b = static_cast<uint8_t>(data[i]);
    if (b == '{' && i + 1 < data.size()) {
      const char c = data[++i];
      if (c == 'A' || c == 'B' || c == 'C') {
        set = c;
      } else if (c == '{') {
        *text += '{';
      } else if (c == 'S' || (c >= '1' && c <= '4')) {
        // Shift and FNC1..FNC4 change how, not what, the symbol encodes here.
      } else {
        *why = "bad code set escape";
        return false;
      }
      continue;
    }
    if (set == 0) {
      *why = "no code set selected";
      return false;
    }
    if (set == 'C') {
      if (b > 99) {
        *why = "code set C byte above 99";
        return false;
      }
      *text += static_cast<char>('0' + b / 10);
      *text += static_cast<char>('0' + b % 10);
    } else {
      *text += static_cast<char>(b);
    }
  }
  if (text->empty()) {
    *why = "no data";
    return false;
  }
  return true;
}

}  // namespace escpos
