// Hex formatting for event lines.
#include "tools/printer-sim/hex.h"

namespace printersim {

std::string HexString(const uint8_t* data, size_t len, size_t max_bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const size_t shown = len < max_bytes ? len : max_bytes;
  std::string out;
  out.reserve(shown * 2 + 3);
  for (size_t i = 0; i < shown; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0x0F];
  }
  if (shown < len) out += "...";
  return out;
}

}  // namespace printersim
