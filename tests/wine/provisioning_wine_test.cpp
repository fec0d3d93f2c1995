// portrelay.exe's first start on a fresh "machine" under Wine: no com0com
// pair, a stand-in installer beside the program that registers pair 0 in
// Wine's registry, and the registered relay end made real by a socat
// pseudo-terminal pair in the prefix's dosdevices. The start ends with the
// relay end open and relaying print data, the Run value naming the launcher
// beside the program, and PortLists.ini naming the relay end. (Wine reports
// no modem status on a pseudo-terminal, so printer replies are never
// forwarded here: only print data is checked.)
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "core/format.h"
#include "core/texts.h"
#include "tests/support/child_process.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
namespace t = core::texts;
using Clock = std::chrono::steady_clock;

const char* const kRunKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kPairKey = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\com0com";
const char* const kRelayEndKey =
    "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCB0\\Device Parameters";
// Names far from the prefix's own serial ports.
const char* const kAppEnd = "COM40";
const char* const kRelayEnd = "COM41";

// Runs `wine reg ARGS` in the 64-bit registry view (the one portrelay.exe
// uses; `wine reg` itself is a 32-bit program) and returns its output.
std::string Reg(std::vector<std::string> args) {
  args.push_back("/reg:64");
  support::ChildProcess reg;
  if (!reg.Start(winetest::WineCommand("reg", args))) return "";
  reg.WaitExit(60000);
  return reg.Output();
}

// What earlier runs may have left in the shared prefix: a pair and a Run value.
void ForgetMachineState() {
  Reg({"delete", kPairKey, "/f"});
  Reg({"delete", kRunKey, "/v", "portrelay", "/f"});
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

class FreshMachineUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string exe = winetest::WindowsProgram("portrelay.exe");
    ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
    fs::copy_file(exe, dir.File("portrelay.exe"));
    for (const char* installer :
         {"Setup_com0com_v3.0.0.0_x64_signed.exe", "Setup_com0com_v3.0.0.0_x86_signed.exe"})
      fs::copy_file(winetest::WindowsProgram("standin_installer.exe"), dir.File(installer));
    ForgetMachineState();

    std::string error;
    ip = printer.StartOnLoopback({"--record", dir.File("printer.bin")}, &error);
    ASSERT_FALSE(ip.empty());
    support::WriteFile(dir.File("Settings.ini"),
                       "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip +
                           "\r\nTimeout=300\r\nResultTimeout=3000\r\nLogFile=YES\r\n"
                           "Realtime=YES\r\n");

    // The relay end the installer will register, as a real pseudo-terminal.
    relayLink = winetest::WinePrefix() + "/dosdevices/com41";
    ASSERT_TRUE(winetest::StartPtyPair(pair, relayLink, dir.File("app")));
  }

  // The Wine server (and the system programs it runs) may hold the output
  // pipe of whichever test program started it, and stays up while any Windows
  // program runs: the clicker must end before those pipes are waited for.
  void StopClicker() {
    support::WriteFile(dir.File("dialogs.txt.stop"), "");
    if (!clicker.WaitExit(10000)) clicker.Signal(SIGKILL);
  }

  void TearDown() override {
    StopClicker();
    pair.Signal(SIGTERM);
    pair.WaitExit(5000);
    fs::remove(relayLink);
    printer.Terminate();
    ForgetMachineState();
  }

  support::TempDir dir;
  std::string ip;
  std::string relayLink;
  printersim::SimProcess printer;
  support::ChildProcess pair;
  support::ChildProcess clicker;
};

TEST_F(FreshMachineUnderWine, FirstStartInstallsThePairAndRelaysThroughIt) {
  ASSERT_TRUE(clicker.Start(winetest::WineCommand(winetest::WindowsProgram("dialog_clicker.exe"),
                                                  {"240", dir.File("dialogs.txt")})));
  support::ChildProcess relay;
  support::ChildProcess::Options options;
  options.environment = {{"PORTRELAY_STANDIN_PAIR", std::string(kAppEnd) + " " + kRelayEnd}};
  const auto begin = Clock::now();
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe")), options));

  ASSERT_TRUE(WaitFor(
      [&] {
        return support::ReadLogFolder(dir.path()).find(t::kChangesDone.english) !=
               std::string::npos;
      },
      120000))
      << support::ReadLogFolder(dir.path()) << relay.Output();
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
  std::printf("first start under Wine with the pair installation took %lld ms\n",
              static_cast<long long>(took));

  const std::string log = support::ReadLogFolder(dir.path());
  EXPECT_NE(log.find(winetest::FirstLine(t::kNotConfigured.english)), std::string::npos) << log;
  EXPECT_NE(log.find("[CHANGE] : Start add DOVI Port(64bit)"), std::string::npos) << log;
  EXPECT_EQ(log.find("CreateProcess failed"), std::string::npos) << log;
  EXPECT_EQ(support::ReadFile(dir.File("PortLists.ini")), "[Ports]\r\nPort1=COM41\r\n");
  EXPECT_NE(Reg({"query", kRelayEndKey, "/v", "PortName"}).find("COM41"), std::string::npos);

  // Print data written to the application's end reaches the printer.
  support::SerialClient app;
  ASSERT_TRUE(app.Open(dir.File("app")));
  const std::string job = "\x1b@job through the installed pair under Wine\n";
  ASSERT_TRUE(app.Write(job));
  EXPECT_TRUE(WaitFor(
      [&] {
        return fs::exists(dir.File("printer.bin")) &&
               support::ReadFile(dir.File("printer.bin")).find(job) != std::string::npos;
      },
      20000))
      << support::ReadLogFolder(dir.path());

  // The launcher beside the program is registered for log-on.
  const std::string run = Reg({"query", kRunKey, "/v", "portrelay"});
  EXPECT_NE(run.find(fs::path(dir.path()).filename().string() + "\\relaytray.exe"),
            std::string::npos)
      << run << support::ReadLogFolder(dir.path());

  // Both pop-ups were answered: the not-configured message and the report.
  const std::string dialogs = support::ReadFile(dir.File("dialogs.txt"));
  EXPECT_NE(dialogs.find("Error | " +
                         core::FormatText(t::kPortPrefixTcp.english, "TCP/IP", ip.c_str(),
                                          winetest::FirstLine(t::kNotConfigured.english).c_str())),
            std::string::npos)
      << dialogs;
  EXPECT_NE(dialogs.find("Normal | " + core::FormatText(t::kPortPrefixTcp.english, "TCP/IP",
                                                        ip.c_str(), t::kChangesDone.english)),
            std::string::npos)
      << dialogs;
  EXPECT_TRUE(relay.Running());
  app.Close();
  relay.Signal(SIGTERM);
  EXPECT_TRUE(relay.WaitExit(15000).has_value());
  StopClicker();
}

}  // namespace
