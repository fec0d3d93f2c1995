// The private-profile engine of the POSIX build over a file's text:
// profile.cpp reads the file, hands its text here and writes the result
// back. Kept apart so it can be driven without files (the fuzz target).
#pragma once

#include <cstddef>
#include <string>

namespace platform::posix {

// The value of `key` in `section` (GetPrivateProfileString's rules, see
// ini_text.cpp), cut to bufferSize - 1 characters; `fallback` when missing.
std::string IniGetString(const std::string& text, const std::string& section,
                         const std::string& key, const std::string& fallback,
                         std::size_t bufferSize);
// The text with `key` in `section` set to `value`; every other line kept.
std::string IniWithString(const std::string& text, const std::string& section,
                          const std::string& key, const std::string& value);

}  // namespace platform::posix
