// Symbol encoding: only the mapping of printer commands onto the libraries.
#include "tools/printer-sim/render/symbols.h"

#include <qrencode.h>
#include <zint.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "escpos/barcode.h"

namespace printersim {
namespace {

struct Symbology {
  uint8_t m_old;  // GS k m ... NUL
  uint8_t m_new;  // GS k m n ...
  int zint;
  size_t min_len;
  size_t max_len;
};

constexpr Symbology kSymbologies[] = {
    {0, 65, BARCODE_UPCA, 11, 12},      {1, 66, BARCODE_UPCE, 6, 8},
    {2, 67, BARCODE_EANX, 12, 13},      {3, 68, BARCODE_EANX, 7, 8},
    {4, 69, BARCODE_CODE39, 1, 255},    {5, 70, BARCODE_C25INTER, 2, 255},
    {6, 71, BARCODE_CODABAR, 2, 255},   {255, 72, BARCODE_CODE93, 1, 255},
    {255, 73, BARCODE_CODE128, 2, 255},
};

const Symbology* FindSymbology(uint8_t m) {
  for (const Symbology& s : kSymbologies) {
    if (s.m_old == m || s.m_new == m) return &s;
  }
  return nullptr;
}

bool AllDigits(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

struct ZintDeleter {
  void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

}  // namespace

const char* SymbologyName(uint8_t m) {
  const char* name = escpos::BarcodeName(m);
  return name != nullptr ? name : "?";
}

bool EncodeBarcode(uint8_t m, std::string_view data, LinearSymbol* out, std::string* why) {
  const Symbology* s = FindSymbology(m);
  if (s == nullptr) {
    *why = "symbology " + std::to_string(m) + " not supported";
    return false;
  }
  std::string text(data);
  if (s->zint == BARCODE_CODE128) {
    if (!Code128Text(data, &text, why)) return false;
  } else if (s->zint == BARCODE_CODE39) {
    // Start and stop characters may come with the data; the encoder adds them.
    if (text.size() >= 2 && text.front() == '*' && text.back() == '*') {
      text = text.substr(1, text.size() - 2);
    }
  }
  if (text.size() < s->min_len || text.size() > s->max_len) {
    *why = "wrong data length " + std::to_string(text.size());
    return false;
  }
  if ((s->zint == BARCODE_UPCA || s->zint == BARCODE_UPCE || s->zint == BARCODE_EANX ||
       s->zint == BARCODE_C25INTER) &&
      !AllDigits(text)) {
    *why = "digits only";
    return false;
  }
  std::unique_ptr<zint_symbol, ZintDeleter> symbol(ZBarcode_Create());
  if (!symbol) {
    *why = "out of memory";
    return false;
  }
  symbol->symbology = s->zint;
  symbol->scale = 0.5f;  // One pixel per module.
  symbol->height = 1;
  symbol->show_hrt = 0;
  symbol->guard_descent = 0;
  symbol->output_options |= BARCODE_NO_QUIET_ZONES;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  if (ZBarcode_Encode(symbol.get(), bytes, static_cast<int>(text.size())) >= ZINT_ERROR ||
      ZBarcode_Buffer(symbol.get(), 0) >= ZINT_ERROR || symbol->width <= 0 ||
      symbol->bitmap == nullptr || symbol->bitmap_width < symbol->width) {
    *why = symbol->errtxt;
    return false;
  }
  out->bars.resize(static_cast<size_t>(symbol->width));
  for (int i = 0; i < symbol->width; ++i) {
    const int x = static_cast<int>(static_cast<int64_t>(i) * symbol->bitmap_width / symbol->width);
    out->bars[i] = symbol->bitmap[static_cast<size_t>(x) * 3] < 128 ? 1 : 0;
  }
  out->text.clear();
  for (const unsigned char* t = symbol->text; *t != 0 && t < symbol->text + sizeof symbol->text;
       ++t) {
    out->text += (*t >= 0x20 && *t < 0x7F) ? static_cast<char>(*t) : ' ';
  }
  return true;
}

bool EncodeQr(std::string_view data, int level, MatrixSymbol* out, std::string* why) {
  if (data.empty()) {
    *why = "no data stored";
    return false;
  }
  static constexpr QRecLevel kLevels[] = {QR_ECLEVEL_L, QR_ECLEVEL_M, QR_ECLEVEL_Q, QR_ECLEVEL_H};
  const QRecLevel ec = kLevels[level & 3];
  QRcode* code = nullptr;
  if (data.find('\0') == std::string_view::npos) {
    const std::string text(data);
    code = QRcode_encodeString(text.c_str(), 0, ec, QR_MODE_8, 1);
  } else {
    code = QRcode_encodeData(static_cast<int>(data.size()),
                             reinterpret_cast<const unsigned char*>(data.data()), 0, ec);
  }
  if (code == nullptr) {
    *why = errno == ERANGE ? "too much data" : std::strerror(errno);
    return false;
  }
  out->size = code->width;
  out->modules.resize(static_cast<size_t>(code->width) * code->width);
  for (size_t i = 0; i < out->modules.size(); ++i) out->modules[i] = code->data[i] & 1;
  QRcode_free(code);
  return true;
}

}  // namespace printersim
