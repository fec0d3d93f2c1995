// POSIX system services. Debugger output has no system sink here: it goes to
// standard error only when PORTRELAY_DEBUG is set, like a debug viewer that is
// switched on. The code page follows the locale: a Korean locale reads as 949.
// Code pages convert through the C library's iconv.
#include <errno.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os_error.h"
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

// iconv from "CP949", "CP437", ...; a sequence it cannot take becomes U+FFFD
// and the conversion goes on after its first byte.
std::string PosixSystem::ToUtf8(const std::string& bytes, unsigned codePage) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  std::string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (char c : bytes) {
      if (static_cast<unsigned char>(c) < 0x80)
        out += c;
      else
        out += kReplacement;
    }
    return out;
  }
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  const char* refusedAt = nullptr;
  char buffer[1024];
  while (inLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t done = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    out.append(buffer, sizeof buffer - dstLeft);
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ, or EINVAL: a lead byte at the end. iconv usually stops at
    // the sequence it refuses, but glibc's CP949 takes some pairs whole
    // before refusing them (0xA2 0xE8). So the replacement goes in at the
    // first refusal, and a byte is skipped only when iconv refuses again
    // at the same place.
    if (in == refusedAt) {
      ++in;
      --inLeft;
    } else {
      out += kReplacement;
      refusedAt = in;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

}  // namespace platform::posix

namespace platform {

std::string OsErrorText(int code) {
  char buffer[256] = {};
  // The GNU strerror_r returns its text, which need not be in the buffer.
  return strerror_r(code, buffer, sizeof buffer);
}

// A port opened exclusively by another program fails its lock with
// EWOULDBLOCK, or its open with EBUSY.
OsCause OsCauseOf(int code) {
  switch (code) {
    case EBUSY:
    case EWOULDBLOCK:
      return OsCause::kHeld;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return OsCause::kNotFound;
    case ECONNREFUSED:
      return OsCause::kRefused;
    case ETIMEDOUT:
      return OsCause::kTimedOut;
    case ENETUNREACH:
    case EHOSTUNREACH:
      return OsCause::kUnreachable;
    default:
      return OsCause::kOther;
  }
}

int OsErrorFor(OsCause cause) {
  switch (cause) {
    case OsCause::kHeld:
      return EWOULDBLOCK;
    case OsCause::kNotFound:
      return ENOENT;
    case OsCause::kRefused:
      return ECONNREFUSED;
    case OsCause::kTimedOut:
      return ETIMEDOUT;
    case OsCause::kUnreachable:
      return EHOSTUNREACH;
    case OsCause::kOther:
      break;
  }
  return 0;
}

}  // namespace platform
