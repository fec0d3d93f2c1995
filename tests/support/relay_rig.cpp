// RelayRig.
#include "tests/support/relay_rig.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

namespace support {

namespace fs = std::filesystem;

RelayRig::RelayRig() {
  // The relay registers its launcher for log-on: keep that inside the test.
  ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
  fs::copy_file(ExecutableDirectory() + "/portrelay", dir.File("portrelay"));
  fs::create_directory(dir.File("dosdevices"));
  fs::create_symlink("pty:com5", dir.File("dosdevices/com6"));
  WriteFile(dir.File("PortLists.ini"), "[Ports]\nPort1=COM6\n");
}

RelayRig::~RelayRig() {
  app.Close();
  relay.Signal(SIGTERM);
  relay.WaitExit(5000);
  printer.Terminate();
}

bool RelayRig::StartPrinter(const std::vector<std::string>& extraArgs) {
  std::vector<std::string> args{"--record", dir.File("printer.bin")};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::string error;
  ip = printer.StartOnLoopback(args, &error);
  return !ip.empty();
}

bool RelayRig::StartRelay(const std::string& settings) {
  WriteFile(dir.File("Settings.ini"),
            "[Settings]\nPort=TCP/IP\nIP=" + ip + "\nLogFile=YES\nRealtime=YES\n" + settings);
  ChildProcess::Options options;
  options.environment = relayEnvironment;
  return relay.Start({dir.File("portrelay")}, options);
}

bool RelayRig::StartPrinterOnPty(const std::string& name,
                                 const std::vector<std::string>& extraArgs) {
  std::vector<std::string> args{"--pty", dir.File("dosdevices/" + name), "--record",
                                dir.File("printer.bin")};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::string error;
  return printer.Start(printersim::SimBinaryPath(), args, &error) == 0;
}

bool RelayRig::StartRelayOnPort(const std::string& port, const std::string& settings) {
  WriteFile(dir.File("Settings.ini"),
            "[Settings]\nPort=" + port + "\nLogFile=YES\nRealtime=YES\n" + settings);
  ChildProcess::Options options;
  options.environment = relayEnvironment;
  return relay.Start({dir.File("portrelay")}, options);
}

bool RelayRig::OpenApplicationPort() {
  return app.OpenWhenPresent(dir.File("dosdevices/com5"), 10000);
}

std::string RelayRig::Log() { return ReadLogFolder(dir.path()); }

std::vector<uint8_t> RelayRig::Recorded() {
  std::string text = ReadFile(dir.File("printer.bin"));
  return std::vector<uint8_t>(text.begin(), text.end());
}

bool RelayRig::WaitForLog(const std::string& text, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (fs::exists(dir.File("MainLog")) && Log().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

size_t FindBytes(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle, size_t from) {
  if (needle.empty() || from > hay.size()) return std::string::npos;
  auto it =
      std::search(hay.begin() + static_cast<long>(from), hay.end(), needle.begin(), needle.end());
  return it == hay.end() ? std::string::npos : static_cast<size_t>(it - hay.begin());
}

int CountBytes(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle) {
  int n = 0;
  for (size_t at = FindBytes(hay, needle); at != std::string::npos;
       at = FindBytes(hay, needle, at + needle.size()))
    ++n;
  return n;
}

}  // namespace support
