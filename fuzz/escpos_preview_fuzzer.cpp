// Fuzzing the job preview (escpos/): any bytes a point-of-sale program may
// send, through the parser and this build's code page conversion. The preview
// must stay bounded, UTF-8 without control characters other than line ends.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "escpos/preview.h"
#include "platform/platform.h"

namespace {

bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<uint8_t>(s[i]);
    const size_t len = b < 0x80                ? 1
                       : b >= 0xC2 && b < 0xE0 ? 2
                       : b >= 0xE0 && b < 0xF0 ? 3
                       : b >= 0xF0 && b < 0xF5 ? 4
                                               : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    if (len == 1 && b < 0x20 && b != '\n') return false;
    i += len;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::System& system = *platform::Native().system;
  const escpos::ToUtf8 toUtf8 = [&](std::string_view b, unsigned cp) {
    return system.ToUtf8(std::string(b), cp);
  };
  const std::string_view job(reinterpret_cast<const char*>(data), size);
  for (unsigned codePage : {949u, 437u}) {
    const std::string preview = escpos::PreviewText(job, codePage, toUtf8);
    if (preview.size() > escpos::kMaxPreviewBytes + escpos::kPreviewCut.size() + 1) std::abort();
    if (!ValidUtf8(preview)) std::abort();
  }
  return 0;
}
