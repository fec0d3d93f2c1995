// The real Linux portrelay, copied into a fresh folder: it creates its
// settings beside itself, runs once per installation and ends cleanly on
// SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;

bool WaitForFile(const std::string& path, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

class PortrelayProcess : public ::testing::Test {
 protected:
  PortrelayProcess() {
    fs::copy_file(support::ExecutableDirectory() + "/portrelay", dir.File("portrelay"));
  }
  // A printer on its own loopback address, so the relay's start-up succeeds.
  std::string StartPrinter(const std::vector<std::string>& extra = {}) {
    std::random_device rd;
    for (int attempt = 0; attempt < 20; ++attempt) {
      std::string ip = "127.0.0." + std::to_string(2 + rd() % 250);
      std::vector<std::string> args{"--tcp", ip + ":9100"};
      args.insert(args.end(), extra.begin(), extra.end());
      std::string error;
      if (printer.Start(printersim::SimBinaryPath(), args, &error) == 0) return ip;
    }
    return "";
  }
  std::string NetworkSettings(const std::string& ip) {
    return "[Settings]\nPort=TCP/IP\nIP=" + ip + "\nTimeout=200\n";
  }
  support::TempDir dir;
  printersim::SimProcess printer;
};

TEST_F(PortrelayProcess, FirstStartWritesTheDefaultSettingsBesideTheProgram) {
  support::ChildProcess relay;
  ASSERT_TRUE(relay.Start({dir.File("portrelay")}));
  ASSERT_TRUE(WaitForFile(dir.File("Settings.ini"), 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(support::ReadFile(dir.File("Settings.ini")),
            "[Settings]\nPort=USB\nTimeout=1000\nBaudrate=9600\nRealtime=YES\nPopup=NO\n"
            "LogFile=NO\nReprint=YES\nResultTimeout=10000\n");
  relay.Signal(SIGTERM);
  EXPECT_TRUE(relay.WaitExit(5000).has_value());
}

TEST_F(PortrelayProcess, SecondInstanceEndsAtOnceAndTheFirstKeepsRunning) {
  const std::string ip = StartPrinter();
  support::WriteFile(dir.File("Settings.ini"), NetworkSettings(ip));
  support::ChildProcess first;
  ASSERT_TRUE(first.Start({dir.File("portrelay")}));
  ASSERT_TRUE(printer.events().Next("cmd DLE_EOT 4", std::chrono::seconds(5)));
  ASSERT_TRUE(first.Running()) << first.Output();

  support::ChildProcess second;
  ASSERT_TRUE(second.Start({dir.File("portrelay")}));
  auto status = second.WaitExit(3000);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_EQ(second.Output(), "");
  EXPECT_TRUE(first.Running());

  first.Signal(SIGTERM);
  auto firstStatus = first.WaitExit(5000);
  ASSERT_TRUE(firstStatus.has_value());
  EXPECT_EQ(*firstStatus, 0);
}

TEST_F(PortrelayProcess, AnotherInstallationIsAnotherMachine) {
  const std::string ip = StartPrinter();
  support::TempDir other;
  fs::copy_file(dir.File("portrelay"), other.File("portrelay"));
  support::WriteFile(dir.File("Settings.ini"), NetworkSettings(ip));
  support::WriteFile(other.File("Settings.ini"), NetworkSettings(ip));
  support::ChildProcess a, b;
  ASSERT_TRUE(a.Start({dir.File("portrelay")}));
  ASSERT_TRUE(b.Start({other.File("portrelay")}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(a.Running());
  EXPECT_TRUE(b.Running());
}

TEST_F(PortrelayProcess, UnreachablePrinterEndsStartUpAfterFiveNumberedMessages) {
  // Nothing listens on this loopback address: every attempt is refused.
  support::WriteFile(dir.File("Settings.ini"), NetworkSettings("127.0.0.254"));
  support::ChildProcess relay;
  ASSERT_TRUE(relay.Start({dir.File("portrelay")}));
  auto status = relay.WaitExit(60000);
  ASSERT_TRUE(status.has_value()) << relay.Output();
  EXPECT_EQ(*status, 1);
  const std::string out = relay.Output();
  for (int n = 1; n <= 5; ++n)
    EXPECT_NE(out.find("Printer connection failed " + std::to_string(n) + " times."),
              std::string::npos)
        << out;
  EXPECT_EQ(out.find("failed 6 times"), std::string::npos);
}

TEST_F(PortrelayProcess, TerminationDuringStartUpEndsItPromptly) {
  // A printer that takes the connection but never answers: each connection
  // attempt takes about 2.6 s, five of them would take 13 s.
  const std::string ip = StartPrinter({"--state", "silent"});
  support::WriteFile(dir.File("Settings.ini"), NetworkSettings(ip));
  support::ChildProcess relay;
  ASSERT_TRUE(relay.Start({dir.File("portrelay")}));
  ASSERT_TRUE(printer.events().Next("cmd DLE_EOT 2", std::chrono::seconds(5)));
  relay.Signal(SIGTERM);
  auto status = relay.WaitExit(8000);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << relay.Output();
  EXPECT_EQ(relay.Output().find("failed 2 times"), std::string::npos) << relay.Output();
}

}  // namespace
