// Fuzzing the POSIX private-profile engine with any Settings.ini or
// PortLists.ini a user, an editor or a broken disk may leave: reading never
// fails, and a key written is read back as written.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/ini_text.h"

using platform::posix::IniGetString;
using platform::posix::IniWithString;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  // A section and key of the program's own, or ones from the input.
  const bool own = input.ConsumeBool();
  const std::string section = own ? "Settings" : input.ConsumeRandomLengthString(16);
  const std::string key = own ? "Port" : input.ConsumeRandomLengthString(16);
  const size_t buffer = input.ConsumeIntegralInRange<size_t>(0, 1100);
  const std::string text = input.ConsumeRemainingBytesAsString();

  const std::string value = IniGetString(text, section, key, "fallback", buffer);
  if (buffer > 0 && value.size() > buffer - 1) std::abort();
  IniGetString(text, "Ports", "Port1", "", 1024);

  // Names the program writes (no brackets, no '=', no line ends, no blanks
  // around them) are read back exactly as written.
  const std::string written = IniWithString(text, "Settings", "Timeout", "1500");
  if (IniGetString(written, "Settings", "Timeout", "", 1024) != "1500") std::abort();
  if (IniWithString(written, "Settings", "Timeout", "1500") != written) std::abort();
  return 0;
}
