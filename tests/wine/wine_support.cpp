// Helpers for the Wine tests.
#include "tests/wine/wine_support.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
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

int WindowsProcessPid(int launcherPid, const std::string& exeName) {
  return support::FindProcess([&](const std::string&, const std::string& cmdline, int group) {
    return group == launcherPid && cmdline.find(exeName) != std::string::npos &&
           cmdline.find("start.exe") == std::string::npos;
  });
}

// The wineserver works in a folder named after the prefix directory's
// device and inode: .../server-DEV-INODE.
int WineserverPid() {
  struct stat st {};
  if (stat(WinePrefix().c_str(), &st) != 0) return -1;
  char name[64];
  std::snprintf(name, sizeof name, "/server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  const std::string suffix = name;
  return support::FindProcess([&](const std::string& cwd, const std::string& cmdline, int) {
    return cwd.ends_with(suffix) && cmdline.find("wineserver") != std::string::npos;
  });
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
