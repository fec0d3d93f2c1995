// The modem lines Wine programs see on pseudo-terminal COM ports, set by a
// test through the preload library of tests/modemlines: "DSR" at the relay
// end means the application holds its port, "CTS" at a serial printer's port
// means the printer is switched on.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace winetest {

class ModemLines {
 public:
  // The library must be built (the linux preset builds it with the Wine tests).
  static bool Available();

  // Sets the input lines of the pty behind `path` (a link such as the
  // prefix's dosdevices/com36): blank-separated "DSR", "CTS", "DCD", "RI";
  // "" is every line off. Takes effect at the program's next question.
  bool Set(const std::string& path, const std::string& lines);
  // The output lines the Windows program set on that pty ("DTR RTS").
  std::string Outputs(const std::string& path) const;
  // What a Wine process started by the test needs in its environment.
  std::vector<std::pair<std::string, std::string>> Environment() const;

 private:
  std::string StateFile(const std::string& path) const;
  support::TempDir dir_;
};

}  // namespace winetest
