// Private-profile files on POSIX: the file read whole, the engine of
// ini_text.cpp over its text, and the result written back.
#include <cerrno>
#include <cstdio>

#include "platform/posix/ini_text.h"
#include "platform/posix/native.h"

namespace platform::posix {
namespace {

thread_local int tProfileError = 0;

bool ReadAll(const std::string& path, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return true;
}

}  // namespace

std::string PosixProfile::GetString(const std::string& section, const std::string& key,
                                    const std::string& fallback, std::size_t bufferSize,
                                    const std::string& file) {
  std::string text;
  if (!ReadAll(file, text)) text.clear();
  return IniGetString(text, section, key, fallback, bufferSize);
}

bool PosixProfile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file) {
  std::string text;
  if (!ReadAll(file, text)) text.clear();
  const std::string out = IniWithString(text, section, key, value);
  FILE* f = std::fopen(file.c_str(), "wb");
  bool ok = f != nullptr;
  if (f) {
    ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = std::fclose(f) == 0 && ok;
  }
  if (!ok) tProfileError = errno != 0 ? errno : EIO;
  return ok;
}

int PosixProfile::LastError() { return tProfileError; }

}  // namespace platform::posix
