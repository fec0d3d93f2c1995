// A job through portrelay.exe under Wine: the relay end is one side of a
// socat pseudo-terminal pair linked into Wine's dosdevices as COM6, the test
// writes to the other side as the application, and the printer simulator
// listens on 127.0.0.N:9100. Wine reports no modem status for such a port, so
// the relay never sees DSR on there and forwards no printer replies to the
// application: only the print data and the job confirmation are checked.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "core/format.h"
#include "core/texts.h"
#include "tests/support/child_process.h"
#include "tests/support/private_cups.h"
#include "tests/support/relay_rig.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
namespace t = core::texts;
using Bytes = std::vector<uint8_t>;

class RelayUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string exe = winetest::WindowsProgram("portrelay.exe");
    ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
    fs::copy_file(exe, dir.File("portrelay.exe"));
    winetest::ForgetInstallation();

    relayEnd = winetest::WinePrefix() + "/dosdevices/com6";
    ASSERT_TRUE(winetest::StartPtyPair(pair, relayEnd, dir.File("app")));

    std::string error;
    ip = printer.StartOnLoopback({"--record", dir.File("printer.bin")}, &error);
    ASSERT_FALSE(ip.empty());
  }
  std::string Log() { return support::ReadLogFolder(dir.path()); }
  bool WaitForLog(const std::string& text, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Log().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void TearDown() override {
    relay.Signal(SIGTERM);
    relay.WaitExit(10000);
    pair.Signal(SIGTERM);
    fs::remove(relayEnd);
  }

  support::TempDir dir;
  std::string relayEnd;
  std::string ip;
  support::ChildProcess pair;
  support::ChildProcess relay;
  printersim::SimProcess printer;
};

TEST_F(RelayUnderWine, AJobReachesThePrinterUnchangedAndIsConfirmed) {
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip +
                         "\r\nTimeout=500\r\nRealtime=YES\r\nPopup=NO\r\nLogFile=YES\r\n"
                         "Reprint=YES\r\nResultTimeout=5000\r\n");
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM6\r\n");
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  ASSERT_TRUE(printer.events().Next("cmd DLE_EOT 4", std::chrono::seconds(30)))
      << relay.Output() << printer.events().Dump();
  // The relay purges its port when it opens it: write only once it is open.
  ASSERT_TRUE(WaitForLog("COM6 open success", 20000)) << Log();

  support::SerialClient app;
  ASSERT_TRUE(app.Open(dir.File("app")));
  Bytes job{0x1B, 0x40};
  const std::string text = "WINE RECEIPT 0001\n";
  job.insert(job.end(), text.begin(), text.end());
  for (int i = 0; i < 20000; ++i) job.push_back(static_cast<uint8_t>('A' + i % 26));
  job.insert(job.end(), {0x1D, 0x56, 0x41, 0x03});
  ASSERT_TRUE(app.Write(job));

  ASSERT_TRUE(printer.events().Next("cmd GS_(H 46464646", std::chrono::seconds(30)))
      << printer.events().Dump();
  ASSERT_TRUE(printer.events().Next("tx 7 37224646464600", std::chrono::seconds(10)));
  std::string recorded = support::ReadFile(dir.File("printer.bin"));
  EXPECT_EQ(support::CountBytes(Bytes(recorded.begin(), recorded.end()), job), 1);

  const std::string log = Log();
  EXPECT_NE(log.find("TIMEOUT : COM6 port " + std::to_string(job.size()) + "-bytes end"),
            std::string::npos)
      << log;
}

// The relay end vanishes under the running relay (the pseudo-terminal pair
// behind COM6 is closed): every read and wait on it fails from then on. The
// relay keeps looking at it at its own pace instead of in a loop.
TEST_F(RelayUnderWine, AVanishedRelayEndDoesNotMakeTheRelaySpin) {
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip +
                         "\r\nTimeout=500\r\nRealtime=YES\r\nPopup=NO\r\nLogFile=YES\r\n");
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM6\r\n");
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  ASSERT_TRUE(WaitForLog("COM6 open success", 60000)) << Log();
  const int program = winetest::WindowsProcessPid(relay.pid(), "portrelay.exe");
  ASSERT_GT(program, 0);

  pair.Signal(SIGTERM);
  ASSERT_TRUE(pair.WaitExit(5000).has_value());
  // A relay spinning on the failed port takes nearly all of the three
  // seconds; one that waits takes a small part of one.
  const double before = support::ProcessorSeconds(program);
  std::this_thread::sleep_for(std::chrono::seconds(3));  // the time measured
  const double used = support::ProcessorSeconds(program) - before;
  EXPECT_GE(before, 0);
  EXPECT_LT(used, 1.0);
}

// Closing the window while a job waits for its confirmation (the printer
// has gone silent) ends the program, and frees the single-instance mutex,
// within 2 s; the job is logged as abandoned.
TEST_F(RelayUnderWine, ClosingWhileAJobAwaitsItsConfirmationEndsTheProgramWithinTwoSeconds) {
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip +
                         "\r\nTimeout=300\r\nRealtime=YES\r\nPopup=NO\r\nLogFile=YES\r\n"
                         "Reprint=YES\r\nResultTimeout=20000\r\n");
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM6\r\n");
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  ASSERT_TRUE(printer.events().Next("cmd DLE_EOT 4", std::chrono::seconds(30)))
      << relay.Output() << printer.events().Dump();
  ASSERT_TRUE(WaitForLog("COM6 open success", 20000)) << Log();
  ASSERT_EQ(printer.Send("silent on"), 0);

  support::SerialClient app;
  ASSERT_TRUE(app.Open(dir.File("app")));
  const std::string text = "NEVER CONFIRMED\n";
  ASSERT_TRUE(app.Write(Bytes(text.begin(), text.end())));
  ASSERT_TRUE(printer.events().Next("cmd GS_(H", std::chrono::seconds(30)))
      << printer.events().Dump();

  std::smatch took;
  const std::string out = winetest::CloseRelayWindow();
  ASSERT_TRUE(std::regex_search(out, took, std::regex("closed after (\\d+) ms"))) << out;
  EXPECT_LT(std::stoi(took[1]), 2000) << out << Log();
  ASSERT_TRUE(relay.WaitExit(10000).has_value());
  EXPECT_NE(Log().find("[ERROR] : COM6 port : job of 16 bytes abandoned"), std::string::npos)
      << Log();
}

// A job written while the printer is off is held and taken into the journal;
// portrelay.exe is ended by force (its process killed, as a crash or a power
// cut ends it); once the printer is on again and the program started again,
// the job prints, once.
TEST_F(RelayUnderWine, AHeldJobOutlivesTheProgramEndedByForce) {
  const std::string settings = "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip +
                               "\r\nTimeout=300\r\nRealtime=YES\r\nPopup=NO\r\nLogFile=YES\r\n"
                               "Reprint=YES\r\nResultTimeout=5000\r\n";
  support::WriteFile(dir.File("Settings.ini"), settings);
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM6\r\n");
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  ASSERT_TRUE(WaitForLog("COM6 open success", 60000)) << Log();
  ASSERT_EQ(printer.Send("power off"), 0);
  ASSERT_TRUE(WaitForLog("jobs are held", 20000)) << Log();

  support::SerialClient app;
  ASSERT_TRUE(app.Open(dir.File("app")));
  const std::string text = "\x1b@WINE HELD RECEIPT\n\x1dVA\x03";
  const Bytes job(text.begin(), text.end());
  ASSERT_TRUE(app.Write(job));
  ASSERT_TRUE(WaitForLog("job of " + std::to_string(job.size()) + " bytes held", 20000)) << Log();
  const int program = winetest::WindowsProcessPid(relay.pid(), "portrelay.exe");
  ASSERT_GT(program, 0);
  ASSERT_EQ(::kill(program, SIGKILL), 0);
  ASSERT_TRUE(relay.WaitExit(20000).has_value());

  ASSERT_EQ(printer.Send("power on"), 0);

  // With pop-ups on, the next start asks first, in the code page's language;
  // ended by force again while it asks, the job stays in the journal.
  const struct {
    const char* locale;
    unsigned codePage;
    bool korean;
  } pages[] = {{"ko_KR.UTF-8", core::kKoreanCodePage, true}, {"C.UTF-8", 1252, false}};
  auto say = [](bool korean, const core::Text& text) {
    return korean ? text.korean : text.english;
  };
  support::WriteFile(dir.File("Settings.ini"),
                     std::regex_replace(settings, std::regex("Popup=NO"), "Popup=YES"));
  for (const auto& page : pages) {
    SCOPED_TRACE(page.locale);
    support::ChildProcess::Options options;
    options.environment = {{"LC_ALL", page.locale}};
    ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe")), options));
    const winetest::Finished probe = winetest::RunToEnd(
        winetest::WineCommand(winetest::WindowsProgram("window_probe.exe"),
                              {std::string("window=") + say(page.korean, t::kStatusCaptionReprint),
                               "text=1010", "rect"}),
        options.environment, 180000);
    ASSERT_EQ(probe.status, 0) << probe.output << Log();
    // The question's first line, with the one job counted.
    const std::string count =
        core::FormatText(winetest::FirstLine(say(page.korean, t::kRecoverAsk)).c_str(), 1);
    EXPECT_NE(probe.output.find(count), std::string::npos) << probe.output;
    const size_t rect = probe.output.rfind("rect ");
    ASSERT_NE(rect, std::string::npos) << probe.output;
    const std::string png =
        winetest::ScreenshotDirectory() + "/recovery_" + std::to_string(page.codePage) + ".png";
    EXPECT_TRUE(winetest::SaveScreenshot(
        probe.output.substr(rect, probe.output.find_first_of("\r\n", rect) - rect), png))
        << png;
    ASSERT_EQ(::kill(winetest::WindowsProcessPid(relay.pid(), "portrelay.exe"), SIGKILL), 0);
    ASSERT_TRUE(relay.WaitExit(20000).has_value());
  }
  const std::string before = support::ReadFile(dir.File("printer.bin"));
  EXPECT_EQ(support::CountBytes(Bytes(before.begin(), before.end()), job), 0);

  support::WriteFile(dir.File("Settings.ini"), settings);
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  ASSERT_TRUE(WaitForLog("is printed again", 60000)) << Log();
  ASSERT_TRUE(printer.events().Next("tx 7 3722", std::chrono::seconds(30)))
      << printer.events().Dump();
  const std::string recorded = support::ReadFile(dir.File("printer.bin"));
  EXPECT_EQ(support::CountBytes(Bytes(recorded.begin(), recorded.end()), job), 1) << Log();
}

// A printer behind a driver: Wine's spooler hands raw documents to a private
// CUPS raw queue that prints to the simulator. Each job is printed when it
// ends, with real-time checking on.
TEST_F(RelayUnderWine, EachSpooledJobIsPrintedWhenItEnds) {
  support::PrivateCups cups(dir);
  const std::string why = cups.Start("relayqueue", "socket://" + ip + ":9100/?waiteof=false");
  ASSERT_TRUE(why.empty()) << "no private cupsd: " << why;
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=relayqueue\r\nBaudrate=1\r\nTimeout=300\r\n"
                     "Realtime=YES\r\nPopup=NO\r\nLogFile=YES\r\nReprint=YES\r\n"
                     "ResultTimeout=5000\r\n");
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM6\r\n");
  // The first connection attempt goes to USB and fails with a pop-up.
  support::ChildProcess clicker;
  ASSERT_TRUE(clicker.Start(winetest::WineCommand(winetest::WindowsProgram("dialog_clicker.exe"),
                                                  {"300", dir.File("dialogs.txt")})));
  struct StopClicker {
    support::ChildProcess& clicker;
    std::string stop;
    ~StopClicker() {
      support::WriteFile(stop, "");
      if (!clicker.WaitExit(10000)) clicker.Signal(SIGKILL);
    }
  } stopClicker{clicker, dir.File("dialogs.txt.stop")};
  support::ChildProcess::Options options;
  options.environment = {{"CUPS_SERVER", cups.socket()}};
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe")), options));
  struct CloseRelay {
    ~CloseRelay() { winetest::CloseRelayWindow(); }
  } closeRelay;
  ASSERT_TRUE(WaitForLog("COM6 open success", 60000)) << Log() << relay.Output();

  support::SerialClient app;
  ASSERT_TRUE(app.Open(dir.File("app")));
  for (int k = 1; k <= 2; ++k) {
    SCOPED_TRACE(k);
    const std::string text = "WINE SPOOLED RECEIPT " + std::to_string(k) + "\n";
    const Bytes job(text.begin(), text.end());
    ASSERT_TRUE(app.Write(job));
    ASSERT_TRUE(printer.events().Next("conn close", std::chrono::seconds(60)))
        << Log() << relay.Output() << printer.events().Dump();
    const std::string recorded = support::ReadFile(dir.File("printer.bin"));
    EXPECT_EQ(support::CountBytes(Bytes(recorded.begin(), recorded.end()), job), 1);
  }
  EXPECT_TRUE(relay.Running());
}

}  // namespace
