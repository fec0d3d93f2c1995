// Turns the printer's text bytes into characters: code page 949 for
// double-byte (Korean) characters, code page 437 for single bytes above
// 0x7F, ASCII below.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace printersim {

struct PrintChar {
  char32_t code_point = 0;
  bool wide = false;  // A double-byte character: two cells wide.
};

class TextDecoder {
 public:
  TextDecoder();
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  // Double-byte characters on (FS &) or off (FS .); on by default, as on
  // Korean printers.
  void SetMultiByte(bool on);
  // Takes one printable byte (0x20 and up). Returns up to two characters:
  // a lead byte waits for its trail byte; a lead byte followed by something
  // that cannot be a trail byte is printed on its own.
  std::array<std::optional<PrintChar>, 2> Take(uint8_t b);
  // Forgets a waiting lead byte (a command or control character came).
  void Interrupt() { lead_ = 0; }

 private:
  PrintChar Single(uint8_t b) const;
  std::optional<PrintChar> Double(uint8_t lead, uint8_t trail);

  void* cd_;  // iconv_t from CP949 to UTF-32LE.
  bool multi_byte_ = true;
  uint8_t lead_ = 0;
  std::array<char32_t, 128> high_{};  // Code page 437 above 0x7F.
};

}  // namespace printersim
