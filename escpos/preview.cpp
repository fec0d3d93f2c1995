#include "escpos/preview.h"

namespace escpos {

// Placeholder until the decoder lands: printable ASCII and line breaks.
std::string PreviewText(std::string_view job, unsigned, const ToUtf8&) {
  std::string out;
  for (char c : job) {
    if (c == '\n' || (c >= 0x20 && c < 0x7f)) out += c;
  }
  return out;
}

}  // namespace escpos
