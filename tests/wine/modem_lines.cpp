// The modem-line state files of the Wine tests (see tests/modemlines).
#include "tests/wine/modem_lines.h"

#include <filesystem>

namespace winetest {

namespace fs = std::filesystem;

bool ModemLines::Available() {
  const std::string dir = PORTRELAY_MODEM_SHIM_DIR;
  return fs::exists(dir + "/lib/x86_64-linux-gnu/libmodemlines.so") &&
         fs::exists(dir + "/lib/i386-linux-gnu/libmodemlines.so");
}

// /dev/pts/7 is known to the library as pts-7.
std::string ModemLines::StateFile(const std::string& path) const {
  std::error_code ec;
  const fs::path device = fs::canonical(path, ec);
  if (ec || device.parent_path() != "/dev/pts") return "";
  return dir_.File("pts-" + device.filename().string());
}

bool ModemLines::Set(const std::string& path, const std::string& lines) {
  const std::string file = StateFile(path);
  if (file.empty()) return false;
  // The library reads the file on every request: replace it whole.
  support::WriteFile(file + ".new", lines + "\n");
  std::error_code ec;
  fs::rename(file + ".new", file, ec);
  return !ec;
}

std::string ModemLines::Outputs(const std::string& path) const {
  const std::string file = StateFile(path);
  if (file.empty() || !fs::exists(file + ".out")) return "";
  std::string text = support::ReadFile(file + ".out");
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::vector<std::pair<std::string, std::string>> ModemLines::Environment() const {
  return {{"PORTRELAY_MODEM_LINES", dir_.path()},
          {"PORTRELAY_MODEM_SHIM", PORTRELAY_MODEM_SHIM_DIR}};
}

}  // namespace winetest
