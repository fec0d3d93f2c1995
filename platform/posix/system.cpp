// POSIX system services. Debugger output has no system sink here: it goes to
// standard error only when PORTRELAY_DEBUG is set, like a debug viewer that is
// switched on. The code page follows the locale: a Korean locale reads as 949.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/native.h"

namespace platform::posix {

void PosixSystem::DebugOutput(const std::string& text) {
  static const bool enabled = std::getenv("PORTRELAY_DEBUG") != nullptr;
  if (enabled) std::fprintf(stderr, "debug: %s\n", text.c_str());
}

unsigned PosixSystem::AnsiCodePage() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::strncmp(value, "ko", 2) == 0 ? 949u : 1252u;
  }
  return 1252u;
}

void PosixSystem::ShowMessageBox(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace platform::posix
