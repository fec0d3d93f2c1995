// portrelay.exe under Wine with its printer on a serial port: Settings.ini
// names COM33, and Wine's dosdevices/com33 is the printer simulator's
// pseudo-terminal, so the Windows communications API (CreateFileA on
// "\\.\COM33", SetCommState, overlapped reads and writes, PurgeComm) drives
// it. The relay end is one side of a socat pty pair linked in as COM36 (names
// no other test of the shared prefix uses); the
// status pop-ups are answered by the dialog clicker, which records them.
// Wine reports no modem status for a pty-backed port, so CTS says nothing
// here (and must not read as a printer switched off).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/format.h"
#include "core/texts.h"
#include "tests/support/child_process.h"
#include "tests/support/relay_rig.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
namespace t = core::texts;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

// Like a POS program: initialise, switch on automatic status, print, cut.
Bytes Receipt(const std::string& text, int filler) {
  std::string job = "\x1B\x40\x1D\x61\xFF" + text;
  for (int i = 0; i < filler; ++i) job += static_cast<char>('A' + i % 26);
  job += "\x0A\x1D\x56\x41\x03";
  return Bytes(job.begin(), job.end());
}

class ComRelayUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string exe = winetest::WindowsProgram("portrelay.exe");
    ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
    fs::copy_file(exe, dir.File("portrelay.exe"));
    // An autostart value from an earlier run elsewhere would make this
    // folder a moved installation. Not through a pipe: the Wine server that
    // `reg` may start would hold it open for as long as it runs.
    const std::string forget = "timeout 120 '" + std::string(PORTRELAY_SOURCE_DIR) +
                               "/scripts/wine-run' reg delete "
                               "'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' "
                               "/v portrelay /f /reg:64 >/dev/null 2>&1";
    (void)std::system(forget.c_str());

    relayEnd = winetest::WinePrefix() + "/dosdevices/com36";
    printerPort = winetest::WinePrefix() + "/dosdevices/com33";
    ASSERT_TRUE(winetest::StartPtyPair(pair, relayEnd, dir.File("app")));
    std::string error;
    ASSERT_EQ(printer.Start(printersim::SimBinaryPath(),
                            {"--pty", printerPort, "--record", dir.File("printer.bin")}, &error),
              0)
        << error;

    support::WriteFile(dir.File("Settings.ini"),
                       "[Settings]\r\nPort=COM33\r\nBaudrate=115200\r\nTimeout=500\r\n"
                       "Realtime=YES\r\nPopup=YES\r\nLogFile=YES\r\nReprint=YES\r\n"
                       "ResultTimeout=5000\r\n");
    support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM36\r\n");
    ASSERT_TRUE(clicker.Start(winetest::WineCommand(winetest::WindowsProgram("dialog_clicker.exe"),
                                                    {"300", dir.File("dialogs.txt")})));
    ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
    // The link is open once the reader has asked the printer for its status.
    ASSERT_TRUE(printer.events().Next("cmd GS_a 255", std::chrono::seconds(60)))
        << relay.Output() << Dialogs() << printer.events().Dump();
    ASSERT_TRUE(
        WaitFor([&] { return Log().find("COM36 open success") != std::string::npos; }, 30000))
        << Log();
    ASSERT_TRUE(app.Open(dir.File("app")));
  }

  void TearDown() override {
    app.Close();
    relay.Signal(SIGTERM);
    relay.WaitExit(10000);
    // The clicker ends by its stop file; the Wine server may hold its pipes.
    support::WriteFile(dir.File("dialogs.txt.stop"), "");
    if (!clicker.WaitExit(10000)) clicker.Signal(SIGKILL);
    pair.Signal(SIGTERM);
    pair.WaitExit(5000);
    printer.Terminate();
    fs::remove(relayEnd);
  }

  std::string Log() { return support::ReadLogFolder(dir.path()); }
  std::string Dialogs() { return support::ReadFile(dir.File("dialogs.txt")); }
  int Copies(const Bytes& job) {
    const std::string text = support::ReadFile(dir.File("printer.bin"));
    return support::CountBytes(Bytes(text.begin(), text.end()), job);
  }

  support::TempDir dir;
  std::string relayEnd;
  std::string printerPort;
  support::ChildProcess pair;
  support::ChildProcess clicker;
  support::ChildProcess relay;
  printersim::SimProcess printer;
  support::SerialClient app;
};

TEST_F(ComRelayUnderWine, AJobReachesTheSerialPrinterAndIsConfirmed) {
  const Bytes job = Receipt("WINE COM33 RECEIPT 0001\n", 20000);
  const auto start = Clock::now();
  ASSERT_TRUE(app.Write(job));
  ASSERT_TRUE(printer.events().Next("cmd GS_(H 46464646", std::chrono::seconds(30)))
      << printer.events().Dump();
  ASSERT_TRUE(printer.events().Next("tx 7 37224646464600", std::chrono::seconds(10)));
  ASSERT_TRUE(WaitFor([&] { return Log().find("-bytes end") != std::string::npos; }, 10000));
  const long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  std::printf(
      "portrelay.exe under Wine, printer on COM33 (pty): %zu-byte job confirmed in %lld ms\n",
      job.size(), ms);
  RecordProperty("job_ms", std::to_string(ms));

  EXPECT_EQ(Copies(job), 1);
  EXPECT_NE(Log().find("TIMEOUT : COM36 port " + std::to_string(job.size()) + "-bytes end"),
            std::string::npos)
      << Log();
  // No printer fault: in particular no "power off" from a modem status that
  // Wine cannot give for a pty.
  EXPECT_EQ(Dialogs().find("[Printing]"), std::string::npos) << Dialogs();
}

struct Fault {
  const char* name;
  const char* start;
  const char* clear;
  const char* message;
};

class ComFaultUnderWine : public ComRelayUnderWine, public ::testing::WithParamInterface<Fault> {};

TEST_P(ComFaultUnderWine, IsShownInTheStatusPopUpAndTheJobPrintedAgain) {
  const Fault& fault = GetParam();
  const Bytes job = Receipt("WINE TABLE 4  2x SOUP  7.00\n", 0);
  ASSERT_TRUE(app.Write(job));
  ASSERT_TRUE(WaitFor([&] { return Copies(job) == 1; }, 20000)) << printer.events().Dump();
  ASSERT_EQ(printer.Send(fault.start), 0);

  const std::string reported = core::FormatText(t::kPortPrefix.english, "COM33", fault.message);
  ASSERT_TRUE(WaitFor([&] { return Dialogs().find(reported) != std::string::npos; }, 30000))
      << Dialogs() << Log();
  ASSERT_EQ(printer.Send(fault.clear), 0);
  ASSERT_TRUE(WaitFor([&] { return Copies(job) == 2; }, 30000)) << Dialogs() << Log();
  const std::string dialogs = Dialogs();
  EXPECT_LT(dialogs.find(reported), dialogs.find(t::kJobNoError.english)) << dialogs;
  EXPECT_NE(dialogs.find(t::kJobReprint.english), std::string::npos) << dialogs;
  EXPECT_NE(Log().find(reported), std::string::npos) << Log();
}

// Another program holds the printer's COM port (Windows ports are exclusive;
// the exclusive-port library of tests/portlock plays that under Wine): each
// failed connection attempt names the port and the cause in MainLog.
TEST(HeldPrinterPortUnderWine, MainLogNamesThePortAndTheCause) {
  const std::string exe = winetest::WindowsProgram("portrelay.exe");
  ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
  support::TempDir dir;
  fs::copy_file(exe, dir.File("portrelay.exe"));
  const std::string printerPort = winetest::WinePrefix() + "/dosdevices/com37";
  printersim::SimProcess printer;
  std::string error;
  ASSERT_EQ(printer.Start(printersim::SimBinaryPath(), {"--pty", printerPort}, &error), 0) << error;
  // The holder: the port's terminal opened and locked as the library locks it.
  const int held = open(fs::canonical(printerPort).c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=COM37\r\nBaudrate=115200\r\nPopup=YES\r\n"
                     "LogFile=YES\r\n");
  support::ChildProcess clicker, relay;
  ASSERT_TRUE(clicker.Start(winetest::WineCommand(winetest::WindowsProgram("dialog_clicker.exe"),
                                                  {"300", dir.File("dialogs.txt")})));
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  const std::string expected = "COM37: access denied (held by another program)";
  const bool named = WaitFor(
      [&] { return support::ReadLogFolder(dir.path()).find(expected) != std::string::npos; },
      120000);
  const std::string log = support::ReadLogFolder(dir.path());
  relay.Signal(SIGTERM);
  relay.WaitExit(10000);
  support::WriteFile(dir.File("dialogs.txt.stop"), "");
  if (!clicker.WaitExit(10000)) clicker.Signal(SIGKILL);
  close(held);
  printer.Terminate();
  fs::remove(printerPort);
  EXPECT_TRUE(named) << log << relay.Output();
}

INSTANTIATE_TEST_SUITE_P(
    Wine, ComFaultUnderWine,
    ::testing::Values(Fault{"CoverOpen", "cover open", "cover close", t::kJobCoverOpen.english},
                      Fault{"PaperOut", "paper out", "paper ok", t::kJobPaperOut.english}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

}  // namespace
