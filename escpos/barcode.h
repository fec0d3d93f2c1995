// What GS k barcodes and GS ( k / ESC Z two-dimensional codes are called, and
// the text a CODE128 command's data encodes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace escpos {

// Name of GS k symbology `m` (0..6 NUL-terminated forms, 65..79 counted
// forms), e.g. "CODE39"; nullptr for numbers no printer defines.
const char* BarcodeName(uint8_t m);
// Name of a GS ( k symbol by its cn byte (48 PDF417, 49 QR, ...); nullptr
// for others.
const char* SymbolName(uint8_t cn);
// CODE128 data as a printer takes it ("{B" code set selections, "{{" for
// '{', code set C as byte values 0..99) turned into the text it encodes.
// false with *why when a printer would refuse it.
bool Code128Text(std::string_view data, std::string* text, std::string* why);

}  // namespace escpos
