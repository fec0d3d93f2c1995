// Fuzzing the reader of the POSIX registry stand-in (registry.reg, regedit's
// format) with any file a hand edit or a broken disk may leave: it never
// fails, and what it keeps is written back in a form it reads the same way.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/registry_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string once = platform::posix::RewriteRegistryText(text);
  if (platform::posix::RewriteRegistryText(once) != once) std::abort();
  return 0;
}
