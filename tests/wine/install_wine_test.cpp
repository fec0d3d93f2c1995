// portrelay-setup.exe under Wine, 32-bit programs in a 64-bit prefix (or its
// x86_64 twin where 32-bit programs cannot run): the
// silent installation into Program Files, the uninstall entry as `wine reg
// query` shows it, the first start through relaytray.exe (the stand-in
// com0com installers packed beside the programs set up the pair, a socat
// pseudo-terminal plays its relay end), the Run value it registers, a silent
// upgrade over the running relay, the log-on start through the Run value's
// command, and relayremove.exe ending the relay with exit code 1 and running
// the entry, which leaves nothing behind. Also the entry run on its own
// while the relay runs, as the system's list of programs does.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"
#include "uninstaller/uninstaller_texts.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kRunKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kEntryKey =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KELVO DOVI Service";
const char* const kPairKey = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\com0com";
const std::string kUninstallerCaption =
    std::string("window=") + uninstaller::texts::kCaption.english;
// The pair the stand-in installer registers; far from the prefix's own ports.
const char* const kStandinPair = "COM40 COM41";
// A start opens the relay end of a known pair, or installs the pair and
// reopens the relay end at the end of the refresh.
const char* const kRelayEndOpened = "COM41 open success";
const char* const kPairInstalled = "End refresh the port";

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return done();
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The folder of 32-bit programs: "Program Files (x86)" in a 64-bit prefix. The
// x86_64 build's installer installs into "Program Files".
bool Win64Prefix() {
  return support::ReadFile(winetest::WinePrefix() + "/system.reg").find("#arch=win64") !=
         std::string::npos;
}
std::string ProgramFiles() {
  return Win64Prefix() && !winetest::ProgramsAre64Bit() ? "Program Files (x86)" : "Program Files";
}

class InstallerUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    setup = winetest::WindowsProgram("portrelay-setup-standins.exe");
    ASSERT_TRUE(fs::exists(setup)) << setup << " is missing: build the windows preset first";
    const std::string programFiles = ProgramFiles();
    folder = winetest::WinePrefix() + "/drive_c/" + programFiles + "/KELVO DOVI";
    windowsFolder = "C:\\" + programFiles + "\\KELVO DOVI";
    ForgetMachine();

    std::string error;
    ip = printer.StartOnLoopback({"--record", scratch.File("printer.bin")}, &error);
    ASSERT_FALSE(ip.empty());
    relayLink = winetest::WinePrefix() + "/dosdevices/com41";
    ASSERT_TRUE(winetest::StartPtyPair(pair, relayLink, scratch.File("app")));
    ASSERT_TRUE(clicker.Start(winetest::WineCommand(winetest::WindowsProgram("dialog_clicker.exe"),
                                                    {"500", scratch.File("dialogs.txt")})));
  }

  void TearDown() override {
    support::WriteFile(scratch.File("dialogs.txt.stop"), "");
    if (!clicker.WaitExit(10000)) clicker.Signal(SIGKILL);
    pair.Signal(SIGTERM);
    pair.WaitExit(5000);
    fs::remove(relayLink);
    printer.Terminate();
    ForgetMachine();
  }

  // A machine without the product: no relay, no entry, no Run value, no pair.
  void ForgetMachine() {
    winetest::RunToEnd(winetest::WineCommand("taskkill", {"/F", "/IM", "portrelay.exe"}), {},
                       60000);
    winetest::Reg({"delete", kRunKey, "/v", "portrelay", "/f"});
    winetest::Reg({"delete", kEntryKey, "/f"});
    winetest::Reg({"delete", kPairKey, "/f"});
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }

  std::string Log() { return support::ReadLogFolder(folder); }

  std::string RunValue() {
    const std::string query = winetest::Reg({"query", kRunKey, "/v", "portrelay"});
    const size_t at = query.find("REG_SZ");
    if (at == std::string::npos) return "";
    std::string value = query.substr(query.find_first_not_of(' ', at + 6));
    return value.substr(0, value.find_first_of("\r\n"));
  }

  winetest::Finished Install() {
    return winetest::RunToEnd(winetest::WineCommand(setup, {"/S"}), {}, 180000);
  }

  // Runs a Windows program of the installation (or a command line) to its end.
  winetest::Finished Run(const std::string& exe) {
    return winetest::RunToEnd(winetest::WineCommand(exe),
                              {{"PORTRELAY_STANDIN_PAIR", kStandinPair}}, 120000);
  }

  // Waits until the relay has opened its relay end `times` times in all.
  bool RelayEndOpened(int times) {
    return WaitFor(
        [&] {
          const std::string log = Log();
          return Count(log, kRelayEndOpened) + Count(log, kPairInstalled) >= times;
        },
        180000);
  }

  void PrintJob(const std::string& job) {
    support::SerialClient app;
    ASSERT_TRUE(app.Open(scratch.File("app")));
    ASSERT_TRUE(app.Write(job));
    EXPECT_TRUE(WaitFor(
        [&] {
          return support::ReadFile(scratch.File("printer.bin")).find(job) != std::string::npos;
        },
        30000))
        << Log();
  }

  bool Gone() {
    return !fs::exists(folder) &&
           winetest::Reg({"query", kEntryKey}).find("DisplayName") == std::string::npos &&
           RunValue().empty();
  }

  std::string setup;
  std::string folder;
  std::string windowsFolder;
  std::string ip;
  std::string relayLink;
  support::TempDir scratch;
  printersim::SimProcess printer;
  support::ChildProcess pair;
  support::ChildProcess clicker;
};

TEST_F(InstallerUnderWine, SilentInstallFirstStartUpgradeLogOnStartAndRemovalLeaveNothing) {
  // Silent installation into Program Files.
  const winetest::Finished installed = Install();
  ASSERT_EQ(installed.status, 0) << installed.output;
  for (const char* file :
       {"portrelay.exe", "relaytray.exe", "relayremove.exe", "uninstall.exe",
        "Setup_com0com_v3.0.0.0_x86_signed.exe", "Setup_com0com_v3.0.0.0_x64_signed.exe"})
    EXPECT_TRUE(fs::exists(folder + "/" + file)) << file;
  const std::string entry = winetest::Reg({"query", kEntryKey});
  EXPECT_NE(entry.find("DisplayName    REG_SZ    KELVO DOVI Service"), std::string::npos) << entry;
  EXPECT_NE(entry.find("UninstallString    REG_SZ    \"" + windowsFolder + "\\uninstall.exe\""),
            std::string::npos)
      << entry;
  EXPECT_EQ(RunValue(), "");
  support::WriteFile(folder + "/Settings.ini",
                     "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip +
                         "\r\nTimeout=300\r\nResultTimeout=3000\r\nLogFile=YES\r\n"
                         "Realtime=YES\r\n");

  // The first start, as the finish page offers it: the launcher starts the
  // relay and closes itself; the relay installs the pair and registers the
  // launcher for log-on.
  const winetest::Finished launched = Run(windowsFolder + "\\relaytray.exe");
  EXPECT_EQ(launched.status, 0) << launched.output;
  ASSERT_TRUE(RelayEndOpened(1)) << Log();
  EXPECT_EQ(RunValue(), windowsFolder + "\\relaytray.exe");
  PrintJob("\x1b@first job after the installation\n");

  // A silent upgrade over the running relay starts it again and keeps its settings.
  const std::string settings = support::ReadFile(folder + "/Settings.ini");
  const winetest::Finished upgraded = Install();
  ASSERT_EQ(upgraded.status, 0) << upgraded.output;
  ASSERT_TRUE(RelayEndOpened(2)) << Log();
  EXPECT_EQ(support::ReadFile(folder + "/Settings.ini"), settings);
  EXPECT_EQ(RunValue(), windowsFolder + "\\relaytray.exe");

  // Log-off, then the log-on start: the Run value's command.
  winetest::RunToEnd(winetest::WineCommand("taskkill", {"/F", "/IM", "portrelay.exe"}), {}, 60000);
  const winetest::Finished logOn = Run(RunValue());
  EXPECT_EQ(logOn.status, 0) << logOn.output;
  ASSERT_TRUE(RelayEndOpened(3)) << Log();
  PrintJob("\x1b@job after the log-on start\n");

  // The uninstaller ends the running relay with exit code 1 and runs the
  // entry; nothing of the product is left.
  support::ChildProcess uninstaller;
  ASSERT_TRUE(uninstaller.Start(winetest::WineCommand(windowsFolder + "\\relayremove.exe")));
  const winetest::Finished probe = winetest::RunToEnd(
      winetest::WineCommand(winetest::WindowsProgram("window_probe.exe"),
                            {"process=portrelay.exe", kUninstallerCaption, "press=1000", "ended"}),
      {}, 180000);
  EXPECT_NE(probe.output.find("exit 1"), std::string::npos) << probe.output;
  const auto removed = uninstaller.WaitExit(120000);
  ASSERT_TRUE(removed.has_value());
  EXPECT_EQ(*removed, 0);
  EXPECT_TRUE(WaitFor([&] { return Gone(); }, 60000))
      << "left: " << (fs::exists(folder) ? "the folder " : "")
      << winetest::Reg({"query", kEntryKey}) << RunValue();
}

TEST_F(InstallerUnderWine, TheEntryAloneRemovesARunningRelayAndEverythingElse) {
  ASSERT_EQ(Install().status, 0);
  support::WriteFile(folder + "/Settings.ini",
                     "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip + "\r\nLogFile=YES\r\n");
  ASSERT_EQ(Run(windowsFolder + "\\relaytray.exe").status, 0);
  ASSERT_TRUE(RelayEndOpened(1)) << Log();
  ASSERT_FALSE(RunValue().empty());

  // What the system's list of programs runs, silently.
  const winetest::Finished removed = winetest::RunToEnd(
      winetest::WineCommand(windowsFolder + "\\uninstall.exe", {"/S"}), {}, 120000);
  EXPECT_EQ(removed.status, 0) << removed.output;
  EXPECT_TRUE(WaitFor([&] { return Gone(); }, 60000))
      << "left: " << (fs::exists(folder) ? "the folder " : "")
      << winetest::Reg({"query", kEntryKey}) << RunValue();
  const winetest::Finished tasks = winetest::RunToEnd(winetest::WineCommand("tasklist"), {}, 60000);
  EXPECT_EQ(tasks.output.find("portrelay.exe"), std::string::npos) << tasks.output;
}

}  // namespace
