// Helpers for the Wine tests.
#include "tests/wine/wine_support.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/support/temp_dir.h"

namespace winetest {

namespace {

// "32" or "64", as scripts/wine-arch answers for this machine.
std::string WineArch() {
  std::string out;
  const std::string command = std::string(PORTRELAY_SOURCE_DIR) + "/scripts/wine-arch 2>/dev/null";
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[64];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  return out.substr(0, out.find_first_of("\r\n"));
}

// The machine field of a PE file's header: 0x14c for i386, 0x8664 for x86_64.
unsigned PeMachine(const std::string& path) {
  const std::string head = support::ReadFile(path).substr(0, 4096);
  if (head.size() < 0x40 || head.compare(0, 2, "MZ") != 0) return 0;
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(head[at]); };
  const size_t pe = byte(0x3c) | byte(0x3d) << 8 | byte(0x3e) << 16;
  if (pe + 6 > head.size() || head.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return 0;
  return byte(pe + 4) | byte(pe + 5) << 8;
}

}  // namespace

std::string WindowsBinDirectory() {
  static const std::string directory = [] {
    const char* own = std::getenv("PORTRELAY_WINDOWS_BIN");
    const std::string chosen = own && *own          ? own
                               : WineArch() == "64" ? PORTRELAY_WINDOWS_X64_BIN
                                                    : PORTRELAY_WINDOWS_BIN;
    // Which architecture this suite ran, for the log of the run.
    const unsigned machine = PeMachine(chosen + "/portrelay.exe");
    std::fprintf(stderr, "wine: %s programs from %s\n",
                 machine == 0x8664  ? "x86_64"
                 : machine == 0x14c ? "32-bit (i386)"
                                    : "no Windows",
                 chosen.c_str());
    return chosen;
  }();
  return directory;
}

std::string WindowsProgram(const std::string& name) { return WindowsBinDirectory() + "/" + name; }

bool ProgramsAre64Bit() { return PeMachine(WindowsProgram("portrelay.exe")) == 0x8664; }

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

bool StartPtyPair(support::ChildProcess& pair, const std::string& first,
                  const std::string& second) {
  std::error_code ignored;
  std::filesystem::remove(first, ignored);
  std::filesystem::remove(second, ignored);
  return pair.Start({"socat", "pty,raw,echo=0,link=" + first, "pty,raw,echo=0,link=" + second}) &&
         WaitForFile(first, 10000) && WaitForFile(second, 10000);
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

Finished RunToEnd(const std::vector<std::string>& command,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  int timeoutMs) {
  support::TempDir scratch;
  const std::string file = scratch.File("output.txt");
  std::vector<std::string> argv{"/bin/sh", "-c", "out=$1; shift; exec \"$@\" >\"$out\" 2>&1", "sh",
                                file};
  argv.insert(argv.end(), command.begin(), command.end());
  support::ChildProcess child;
  support::ChildProcess::Options options;
  options.environment = environment;
  Finished finished;
  if (!child.Start(argv, options)) return finished;
  finished.status = child.WaitExit(timeoutMs);
  if (!finished.status) child.Signal(SIGKILL);
  finished.output = support::ReadFile(file);
  return finished;
}

std::string Reg(std::vector<std::string> args) {
  args.push_back("/reg:64");
  return RunToEnd(WineCommand("reg", args), {}, 60000).output;
}

std::string Display() {
  const char* own = std::getenv("PORTRELAY_DISPLAY");
  return own && *own ? own : ":87";
}

bool SaveScreenshot(const std::string& rectLine, const std::string& pngPath) {
  std::istringstream in(rectLine);
  std::string word;
  int x = 0, y = 0, w = 0, h = 0;
  if (!(in >> word >> x >> y >> w >> h) || word != "rect" || w <= 0 || h <= 0) return false;
  std::filesystem::create_directories(std::filesystem::path(pngPath).parent_path());
  const std::string crop = std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(x) +
                           "+" + std::to_string(y);
  const Finished shot = RunToEnd({"import", "-window", "root", "-crop", crop, "+repage", pngPath},
                                 {{"DISPLAY", Display()}}, 30000);
  return shot.status == 0 && std::filesystem::exists(pngPath);
}

std::string ScreenshotDirectory() {
  return std::string(PORTRELAY_SOURCE_DIR) + "/build/screenshots";
}

// Through a file, as RunToEnd does: the closer can end before its pipe has
// been read, and its line would be lost.
std::string CloseRelayWindow() {
  return RunToEnd(WineCommand(WindowsProgram("window_closer.exe")), {}, 60000).output;
}

std::string FirstLine(const char* text) {
  const std::string whole(text);
  return whole.substr(0, whole.find('\n'));
}

}  // namespace winetest
