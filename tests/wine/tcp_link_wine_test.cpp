// The Winsock TcpLink of the Windows build, run under Wine by
// tcp_link_driver.exe against the printer simulator on 127.0.0.1: the
// scenario of the Linux integration test, with the printer changed between
// the driver's steps.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"

namespace {

using std::chrono::milliseconds;

class TcpLinkUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string exe = winetest::WindowsProgram("tcp_link_driver.exe");
    ASSERT_TRUE(std::filesystem::exists(exe)) << exe << " is missing: build the windows preset";
    std::string error;
    ASSERT_EQ(sim.Start(printersim::SimBinaryPath(), {"--tcp", "127.0.0.1:0"}, &error), 0) << error;
    ASSERT_TRUE(
        driver.Start(winetest::WineCommand(exe, {"127.0.0.1", std::to_string(sim.port())})));
    ASSERT_TRUE(driver.WaitForLine("ready", 0, 120000).has_value()) << driver.Output();
  }
  void TearDown() override {
    driver.WriteStdin("quit\n");
    driver.WaitExit(30000);
  }
  // Sends a driver command and returns its answer line.
  std::string Ask(const std::string& command, int timeoutMs = 30000) {
    const size_t from = driver.Lines().size();
    driver.WriteStdin(command + "\n");
    const std::string word = command.substr(0, command.find(' '));
    const auto at = driver.WaitForLine(word + " ", from, timeoutMs);
    if (!at) return "no answer to " + command + ":\n" + driver.Output();
    std::string line = driver.Lines()[*at];
    if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows console text
    return line;
  }
  // Changes the printer and waits for a state line that shows the change.
  void Printer(const std::string& command, const std::string& shows) {
    ASSERT_EQ(sim.Send(command), 0);
    for (;;) {
      const auto line = sim.events().Next("state ", milliseconds(5000));
      ASSERT_TRUE(line.has_value()) << command << "\n" << sim.events().Dump();
      if (line->find(shows) != std::string::npos) return;
    }
  }

  printersim::SimProcess sim;
  support::ChildProcess driver;
};

TEST_F(TcpLinkUnderWine, OpenConfirmFaultsAndClose) {
  const std::string open = Ask("open");
  ASSERT_EQ(open.rfind("open 0 ", 0), 0u) << open;
  std::printf("Winsock TcpLink open under Wine: %s ms\n", open.substr(7).c_str());
  EXPECT_EQ(Ask("write 1b4057696e650a"), "write 1");
  EXPECT_EQ(Ask("wait 5000"), "wait 0");

  // The application enables Automatic Status Back; then the cover opens.
  EXPECT_EQ(Ask("write 1d61ff"), "write 1");
  ASSERT_TRUE(sim.events().Next("cmd GS_a 255", milliseconds(5000)).has_value());
  Printer("cover open", "cover=open");
  EXPECT_EQ(Ask("wait 5000"), "wait 1");
  Printer("cover close", "cover=closed");
  std::string status;
  for (int i = 0; i < 50 && status != "status 0"; ++i) {
    status = Ask("status");
    if (status != "status 0") std::this_thread::sleep_for(milliseconds(100));
  }
  EXPECT_EQ(status, "status 0");
  EXPECT_EQ(Ask("close"), "close 0");
  EXPECT_TRUE(sim.events().Next("conn close", milliseconds(5000)).has_value());

  Printer("split on", "split=on");
  ASSERT_EQ(Ask("open").rfind("open 0 ", 0), 0u);
  EXPECT_EQ(Ask("wait 5000"), "wait 0");
  EXPECT_EQ(Ask("close"), "close 0");

  Printer("paper out", "paper=out");
  EXPECT_EQ(Ask("open").rfind("open 4 ", 0), 0u);
  Printer("power off", "power=off");
  EXPECT_EQ(Ask("open").rfind("open 8 ", 0), 0u);
}

}  // namespace
