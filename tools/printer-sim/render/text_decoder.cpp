// Code page conversion through the C library's iconv.
#include "tools/printer-sim/render/text_decoder.h"

#include <iconv.h>

#include <cstdint>

namespace printersim {
namespace {

// iconv_open's failure value.
const iconv_t kNoConversion = reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1));

// One character from `in` through `cd`; 0 when it does not convert.
char32_t Convert(iconv_t cd, const uint8_t* in, size_t len) {
  if (cd == kNoConversion) return 0;
  char inbuf[2] = {static_cast<char>(in[0]), len > 1 ? static_cast<char>(in[1]) : '\0'};
  unsigned char out[8] = {};
  char* src = inbuf;
  char* dst = reinterpret_cast<char*>(out);
  size_t src_left = len;
  size_t dst_left = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) || src_left != 0 ||
      sizeof out - dst_left != 4) {
    return 0;
  }
  return static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                               (static_cast<uint32_t>(out[3]) << 24));
}

bool IsLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(uint8_t b) {
  return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
}

}  // namespace

TextDecoder::TextDecoder() : cd_(iconv_open("UTF-32LE", "CP949")) {
  iconv_t cp437 = iconv_open("UTF-32LE", "CP437");
  for (int i = 0; i < 128; ++i) {
    const uint8_t b = static_cast<uint8_t>(0x80 + i);
    const char32_t c = Convert(cp437, &b, 1);
    high_[i] = c != 0 ? c : U'?';
  }
  if (cp437 != kNoConversion) iconv_close(cp437);
}

TextDecoder::~TextDecoder() {
  if (cd_ != kNoConversion) iconv_close(static_cast<iconv_t>(cd_));
}

void TextDecoder::SetMultiByte(bool on) {
  multi_byte_ = on;
  lead_ = 0;
}

PrintChar TextDecoder::Single(uint8_t b) const {
  return PrintChar{b < 0x80 ? static_cast<char32_t>(b) : high_[b - 0x80], false};
}

std::optional<PrintChar> TextDecoder::Double(uint8_t lead, uint8_t trail) {
  const uint8_t pair[2] = {lead, trail};
  const char32_t c = Convert(static_cast<iconv_t>(cd_), pair, 2);
  if (c == 0) return PrintChar{U'?', true};  // Unassigned code: a full-width mark.
  return PrintChar{c, true};
}

std::array<std::optional<PrintChar>, 2> TextDecoder::Take(uint8_t b) {
  if (lead_ != 0) {
    const uint8_t lead = lead_;
    lead_ = 0;
    if (IsTrail(b)) return {Double(lead, b), std::nullopt};
    if (IsLead(b)) {
      lead_ = b;
      return {Single(lead), std::nullopt};
    }
    return {Single(lead), Single(b)};
  }
  if (multi_byte_ && IsLead(b)) {
    lead_ = b;
    return {};
  }
  return {Single(b), std::nullopt};
}

}  // namespace printersim
