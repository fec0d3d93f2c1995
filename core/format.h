// printf-style formatting into a std::string, for the program's own formats.
#pragma once

#include <cstdarg>
#include <string>

namespace core {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// For the bilingual texts, whose format is picked at run time from the table.
std::string FormatText(const char* format, ...);

}  // namespace core
