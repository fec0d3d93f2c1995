// Implemented by platform/win32/profile.cpp and platform/posix/profile.cpp.
// Private-profile (INI) files with the Windows semantics the settings rely on:
// GetPrivateProfileStringA / WritePrivateProfileStringA.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

class Profile {
 public:
  virtual ~Profile() = default;
  // The value of [section] key in file, or `fallback` when the key or the file
  // is missing. The result is cut to bufferSize - 1 characters, as the Windows
  // call cuts it to its buffer. Section and key match without regard to case.
  virtual std::string GetString(const std::string& section, const std::string& key,
                                const std::string& fallback, std::size_t bufferSize,
                                const std::string& file) = 0;
  // Sets [section] key = value, keeping every other line; creates the section
  // and the file when missing. False when the file cannot be written.
  virtual bool WriteString(const std::string& section, const std::string& key,
                           const std::string& value, const std::string& file) = 0;
  // The OS error of the calling thread's last failed write (os_error.h); 0
  // while nothing failed. A missing file is no failure of GetString.
  virtual int LastError() = 0;
};

}  // namespace platform
