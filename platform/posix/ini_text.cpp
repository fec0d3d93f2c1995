// The private-profile engine of the POSIX build over a file's text
// (ini_text.h), written to match the Windows calls in all the program relies on:
//  - section and key names match without regard to case; the first match wins;
//  - blanks around names and values are dropped, and one pair of enclosing
//    quotes around a value is removed;
//  - a missing file, section or key gives the fallback; a value is cut to the
//    caller's buffer (bufferSize - 1 characters);
//  - writing one key rewrites only that line (or inserts it at the end of its
//    section, or appends the section), keeps every other line byte for byte and
//    creates the file when missing. New lines follow the file's own line ends.
#include "platform/posix/ini_text.h"

#include <cctype>
#include <string_view>
#include <vector>

namespace platform::posix {
namespace {

struct IniFile {
  std::vector<std::string> lines;  // raw lines without "\n" (a CR stays)
  bool crlf = false;
};

IniFile Split(const std::string& text) {
  IniFile ini;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ini.lines.emplace_back(text, start, end - start);
    start = end + 1;
  }
  ini.crlf = !ini.lines.empty() && !ini.lines.front().empty() && ini.lines.front().back() == '\r';
  return ini;
}

std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The section name when the line is a section header.
bool SectionHeader(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  line.remove_prefix(1);
  size_t close = line.find(']');
  name = Trim(close == std::string_view::npos ? line : line.substr(0, close));
  return true;
}

// The key and value when the line is a key line.
bool KeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  line = Trim(line);
  if (line.empty() || line.front() == ';') return false;
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

std::string IniGetString(const std::string& text, const std::string& section,
                         const std::string& key, const std::string& fallback,
                         std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  const IniFile ini = Split(text);
  std::string result = fallback;
  bool inSection = false;
  for (const std::string& line : ini.lines) {
    std::string_view name, k, v;
    if (SectionHeader(line, name)) {
      if (inSection) break;
      inSection = SameName(name, section);
    } else if (inSection && KeyLine(line, k, v) && SameName(k, key)) {
      result = std::string(Unquote(v));
      break;
    }
  }
  if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
  return result;
}

std::string IniWithString(const std::string& text, const std::string& section,
                          const std::string& key, const std::string& value) {
  IniFile ini = Split(text);
  const std::string eol = ini.crlf ? "\r" : "";
  const std::string entry = key + "=" + value + eol;

  bool inSection = false;
  bool sectionFound = false;
  size_t insertAt = ini.lines.size();
  bool written = false;
  for (size_t i = 0; i < ini.lines.size(); ++i) {
    std::string_view name, k, v;
    if (SectionHeader(ini.lines[i], name)) {
      if (inSection) break;
      inSection = SameName(name, section);
      if (inSection) {
        sectionFound = true;
        insertAt = i + 1;
      }
    } else if (inSection) {
      if (KeyLine(ini.lines[i], k, v) && SameName(k, key)) {
        ini.lines[i] = entry;
        written = true;
        break;
      }
      if (!Trim(ini.lines[i]).empty()) insertAt = i + 1;
    }
  }
  if (!written) {
    if (sectionFound) {
      ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
    } else {
      ini.lines.push_back("[" + section + "]" + eol);
      ini.lines.push_back(entry);
    }
  }

  std::string out;
  for (const std::string& line : ini.lines) out += line + "\n";
  return out;
}

}  // namespace platform::posix
