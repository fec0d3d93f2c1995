// The real Linux portrelay, copied into a fresh folder: it creates its
// settings beside itself, runs once per installation and ends cleanly on
// SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
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
    std::string error;
    return printer.StartOnLoopback(extra, &error);
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
  support::WriteFile(dir.File("Settings.ini"), NetworkSettings("127.0.0.254") + "LogFile=YES\n");
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
  // MainLog says why before each message.
  const std::string log = support::ReadLogFolder(dir.path());
  size_t causes = 0;
  for (size_t at = 0; (at = log.find("[ERROR] : TCP/IP(127.0.0.254): connection refused\n", at)) !=
                      std::string::npos;
       ++at)
    ++causes;
  EXPECT_EQ(causes, 5u) << log;
}

// A relay port that cannot be opened leaves a relay that relays nothing:
// start-up says so at Error level and on the console, naming the port and
// the reason, and runs on.
TEST_F(PortrelayProcess, ARelayPortThatCannotBeOpenedIsReportedWithTheReason) {
  const std::string ip = StartPrinter();
  const std::string longName = "COM" + std::string(297, '9');
  const struct {
    const char* name;
    std::string port;
    std::function<void(const support::TempDir&)> prepare;
    const char* reason;
  } cases[] = {
      {"no entry", "COM999", [](const support::TempDir&) {}, "there is no entry com999 in "},
      {"a 300-character name", longName, [](const support::TempDir&) {},
       "the port name is too long"},
      {"an entry pointing at a file", "COM6",
       [](const support::TempDir& d) {
         support::WriteFile(d.File("plain.txt"), "not a device");
         fs::create_symlink(d.File("plain.txt"), d.File("dosdevices/com6"));
       },
       "GetCommState() failed: it is no serial port"},
      {"an entry pointing at a directory", "COM6",
       [](const support::TempDir& d) {
         fs::create_directory(d.File("folder"));
         fs::create_symlink(d.File("folder"), d.File("dosdevices/com6"));
       },
       "Is a directory"},
      {"an entry pointing at nothing", "COM6",
       [](const support::TempDir& d) {
         fs::create_symlink(d.File("nothing-here"), d.File("dosdevices/com6"));
       },
       "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    support::TempDir install;
    fs::copy_file(dir.File("portrelay"), install.File("portrelay"));
    fs::create_directory(install.File("dosdevices"));
    c.prepare(install);
    support::WriteFile(install.File("Settings.ini"), NetworkSettings(ip) + "LogFile=YES\n");
    support::WriteFile(install.File("PortLists.ini"), "[Ports]\nPort1=" + c.port + "\n");
    support::ChildProcess relay;
    ASSERT_TRUE(relay.Start({install.File("portrelay")}));
    const std::string failure = c.port + " : the relay port cannot be opened: ";
    EXPECT_TRUE(relay.WaitForOutput("portrelay: [notice] " + failure, 10000)) << relay.Output();
    const std::string log = support::ReadLogFolder(install.path());
    const size_t at = log.find("[ERROR] : " + failure);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find(c.reason, at), std::string::npos) << log;
    EXPECT_TRUE(relay.Running());
    relay.Signal(SIGTERM);
    EXPECT_TRUE(relay.WaitExit(5000).has_value());
  }
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
