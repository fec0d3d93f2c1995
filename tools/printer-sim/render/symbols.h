// Barcodes (libzint) and QR codes (libqrencode) as module patterns, from
// the data and symbology numbers of the ESC/POS GS k and GS ( k commands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "escpos/barcode.h"

namespace printersim {

struct LinearSymbol {
  std::vector<uint8_t> bars;  // One entry per module, 1 = bar.
  std::string text;           // Human-readable interpretation (HRI).
};

struct MatrixSymbol {
  int size = 0;                  // Modules per side.
  std::vector<uint8_t> modules;  // Row after row, 1 = dark.
};

// Name of GS k symbology `m` for messages ("CODE39"), "?" for unknown ones.
const char* SymbologyName(uint8_t m);
// Encodes GS k data of symbology `m` (the 0..6 and 65..73 numbers). false
// with *why when a printer would refuse it (wrong length, characters, ...).
bool EncodeBarcode(uint8_t m, std::string_view data, LinearSymbol* out, std::string* why);
// CODE128 data turned into the text it encodes (escpos/barcode.h).
using escpos::Code128Text;
// A QR code (model 2) of `data` with error correction level 0 (L) to 3 (H).
bool EncodeQr(std::string_view data, int level, MatrixSymbol* out, std::string* why);

}  // namespace printersim
