// portrelay.exe under Wine: first start in a fresh folder, and the named
// mutex that lets only one instance run.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"

namespace {

namespace fs = std::filesystem;

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
