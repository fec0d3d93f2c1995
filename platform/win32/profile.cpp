// Win32 private-profile files: the system's own calls.
#include <windows.h>

#include <vector>

#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

thread_local int tProfileError = 0;

}  // namespace

std::string WinProfile::GetString(const std::string& section, const std::string& key,
                                  const std::string& fallback, std::size_t bufferSize,
                                  const std::string& file) {
  if (bufferSize == 0) return {};
  std::vector<char> buffer(bufferSize, '\0');
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                                     static_cast<DWORD>(bufferSize), file.c_str());
  return std::string(buffer.data(), n);
}

bool WinProfile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& file) {
  if (WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()))
    return true;
  const DWORD error = GetLastError();
  tProfileError = error != 0 ? static_cast<int>(error) : ERROR_GEN_FAILURE;
  return false;
}

int WinProfile::LastError() { return tProfileError; }

}  // namespace platform::win32
