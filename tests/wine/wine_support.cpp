// Helpers for the Wine tests.
#include "tests/wine/wine_support.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace winetest {

std::string WindowsProgram(const std::string& name) {
  return std::string(PORTRELAY_WINDOWS_BIN) + "/" + name;
}

std::vector<std::string> WineCommand(const std::string& exe, const std::vector<std::string>& args) {
  std::vector<std::string> cmd{std::string(PORTRELAY_SOURCE_DIR) + "/scripts/wine-run", exe};
  cmd.insert(cmd.end(), args.begin(), args.end());
  return cmd;
}

bool WaitForFile(const std::string& path, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string WinePrefix() {
  const char* own = std::getenv("PORTRELAY_WINEPREFIX");
  return own ? own : std::string(PORTRELAY_SOURCE_DIR) + "/build/wine";
}

}  // namespace winetest

namespace winetest {

// `wine reg` is a 32-bit program: /reg:64 names the view portrelay.exe uses.
void ForgetInstallation() {
  const std::vector<std::vector<std::string>> deletions = {
      {"delete", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "/v", "portrelay", "/f",
       "/reg:64"},
      {"delete", "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\com0com", "/f", "/reg:64"},
  };
  for (const auto& args : deletions) {
    support::ChildProcess reg;
    if (reg.Start(WineCommand("reg", args))) reg.WaitExit(30000);
  }
}

}  // namespace winetest

namespace winetest {

std::string CloseRelayWindow() {
  support::ChildProcess closer;
  if (!closer.Start(WineCommand(WindowsProgram("window_closer.exe")))) return "";
  closer.WaitExit(60000);
  return closer.Output();
}

}  // namespace winetest
