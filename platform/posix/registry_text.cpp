// The regedit text format of the POSIX registry file (registry_text.h).
#include "platform/posix/registry_text.h"

namespace platform::posix {
namespace {

constexpr const char* kHivePrefix = "HKEY_LOCAL_MACHINE\\";
constexpr const char* kHeader = "REGEDIT4";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Quote(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          out += "\\x";
          out += kHex[u >> 4];
          out += kHex[u & 0x0F];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads a quoted text starting at line[at] == '"'; moves `at` past it.
bool Unquote(const std::string& line, size_t& at, std::string& text) {
  if (at >= line.size() || line[at] != '"') return false;
  text.clear();
  for (++at; at < line.size(); ++at) {
    char c = line[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c != '\\') {
      text += c;
      continue;
    }
    if (++at >= line.size()) return false;
    switch (line[at]) {
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      case 't':
        text += '\t';
        break;
      case 'x': {
        if (at + 2 >= line.size()) return false;
        int hi = HexDigit(line[at + 1]), lo = HexDigit(line[at + 2]);
        if (hi < 0 || lo < 0) return false;
        text += static_cast<char>(hi * 16 + lo);
        at += 2;
        break;
      }
      default:
        text += line[at];
    }
  }
  return false;
}

}  // namespace

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string TrimSlashes(std::string path) {
  while (!path.empty() && path.front() == '\\') path.erase(0, 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool AtOrBelow(const std::string& path, const std::string& key) {
  if (path.size() < key.size()) return false;
  if (!SameText(path.substr(0, key.size()), key)) return false;
  return path.size() == key.size() || path[key.size()] == '\\';
}

RegistryText::Key* RegistryText::Find(const std::string& path) {
  for (Key& k : keys)
    if (SameText(k.path, path)) return &k;
  return nullptr;
}

RegistryText::Key& RegistryText::Make(const std::string& path) {
  if (Key* k = Find(path)) return *k;
  keys.push_back({path, {}});
  return keys.back();
}

RegistryText ParseRegistryText(const std::string& text) {
  RegistryText store;
  RegistryText::Key* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      current = nullptr;
      if (close == std::string::npos) continue;
      std::string path = line.substr(1, close - 1);
      const std::string hive = kHivePrefix;
      if (path.size() >= hive.size() && SameText(path.substr(0, hive.size()), hive))
        path.erase(0, hive.size());
      path = TrimSlashes(path);
      if (!path.empty()) current = &store.Make(path);
      continue;
    }
    if (!current) continue;
    size_t at = 0;
    std::string name, data;
    if (line[0] == '@') {
      at = 1;
    } else if (!Unquote(line, at, name)) {
      continue;
    }
    if (at >= line.size() || line[at] != '=') continue;
    ++at;
    if (!Unquote(line, at, data)) continue;
    bool replaced = false;
    for (auto& v : current->values)
      if (SameText(v.first, name)) {
        v.second = data;
        replaced = true;
      }
    if (!replaced) current->values.emplace_back(name, data);
  }
  return store;
}

std::string SerialiseRegistryText(const RegistryText& store) {
  std::string text = std::string(kHeader) + "\n";
  for (const RegistryText::Key& k : store.keys) {
    text += "\n[" + std::string(kHivePrefix) + k.path + "]\n";
    for (const auto& v : k.values)
      text += (v.first.empty() ? std::string("@") : Quote(v.first)) + "=" + Quote(v.second) + "\n";
  }
  return text;
}

std::string RewriteRegistryText(const std::string& text) {
  return SerialiseRegistryText(ParseRegistryText(text));
}

}  // namespace platform::posix
