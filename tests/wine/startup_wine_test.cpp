// portrelay.exe under Wine: first start in a fresh folder, and the named
// mutex that lets only one instance run.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "core/format.h"
#include "core/texts.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"

namespace {

namespace fs = std::filesystem;
namespace t = core::texts;

class PortrelayUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string exe = winetest::WindowsProgram("portrelay.exe");
    ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
    fs::copy_file(exe, dir.File("portrelay.exe"));
  }
  support::TempDir dir;
};

TEST_F(PortrelayUnderWine, FirstStartCreatesSettingsAndASecondCopyEndsAtOnce) {
  support::ChildProcess first;
  ASSERT_TRUE(first.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  ASSERT_TRUE(winetest::WaitForFile(dir.File("Settings.ini"), 30000)) << first.Output();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(support::ReadFile(dir.File("Settings.ini")),
            "[Settings]\r\nPort=USB\r\nTimeout=1000\r\nBaudrate=9600\r\nRealtime=YES\r\n"
            "Popup=NO\r\nLogFile=NO\r\nReprint=YES\r\nResultTimeout=10000\r\n");

  support::ChildProcess second;
  ASSERT_TRUE(second.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  auto status = second.WaitExit(30000);
  ASSERT_TRUE(status.has_value()) << "the second instance did not end";
  EXPECT_EQ(*status, 0);
  EXPECT_TRUE(first.Running()) << "the first instance ended too";

  first.Signal(SIGTERM);
  EXPECT_TRUE(first.WaitExit(10000).has_value());
}

}  // namespace

namespace {

// A network printer that cannot be reached: five numbered messages in the
// red status pop-up (answered by the dialog clicker), then the program ends.
TEST_F(PortrelayUnderWine, FiveFailedConnectionsShowFiveMessagesAndEndTheProgram) {
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=TCP/IP\r\nIP=127.0.0.254\r\nLogFile=YES\r\n");
  const std::string dialogs = dir.File("dialogs.txt");
  support::ChildProcess clicker;
  ASSERT_TRUE(clicker.Start(
      winetest::WineCommand(winetest::WindowsProgram("dialog_clicker.exe"), {"120", dialogs})));
  support::ChildProcess relay;
  ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe"))));
  auto status = relay.WaitExit(90000);
  support::WriteFile(dialogs + ".stop", "");
  if (!clicker.WaitExit(10000)) clicker.Signal(SIGKILL);
  ASSERT_TRUE(status.has_value()) << "portrelay.exe did not end";

  const std::string shown = support::ReadFile(dialogs);
  for (int n = 1; n <= 5; ++n) {
    const std::string failed =
        core::FormatText(winetest::FirstLine(t::kConnectionFailedTimes.english).c_str(), n);
    const std::string line =
        std::string(t::kStatusCaptionError.english) + " | " +
        core::FormatText(t::kPortPrefixTcp.english, "TCP/IP", "127.0.0.254", failed.c_str());
    EXPECT_NE(shown.find(line), std::string::npos) << shown;
  }
  EXPECT_EQ(shown.find("failed 6 times"), std::string::npos) << shown;
  // MainLog names the cause, in the relay's own words as on Linux.
  const std::string log = support::ReadLogFolder(dir.path());
  EXPECT_NE(log.find("[ERROR] : TCP/IP(127.0.0.254): connection refused"), std::string::npos)
      << log;
  // Start-up stopped there: no relay port was opened.
  EXPECT_EQ(log.find("End OpenPort"), std::string::npos) << log;
}

}  // namespace
