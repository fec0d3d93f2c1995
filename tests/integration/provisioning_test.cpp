// The real Linux portrelay and pairsetup, copied into an empty folder that
// plays a fresh machine: the first start installs the virtual pair, writes
// PortLists.ini, registers the launcher for log-on and relays a job through
// the new application end; a second start finds its registration and
// installs nothing; a copy of the folder closes with the moved-folder
// message; an installer that crashes leaves a relay without a port.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "core/texts.h"
#include "tests/support/child_process.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kNotConfigured = "The virtual COM port is not configured.";
const char* const kDone = core::texts::kChangesDone.english;
const char* const kMoved = "The program execution path has been changed.";

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (fs::exists(path) && support::ReadFile(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

class FreshMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"portrelay", "pairsetup"})
      fs::copy_file(support::ExecutableDirectory() + "/" + program, dir.File(program));
    std::string error;
    ip = printer.StartOnLoopback({"--record", dir.File("printer.bin")}, &error);
    ASSERT_FALSE(ip.empty()) << "no loopback address for the printer";
    support::WriteFile(dir.File("Settings.ini"),
                       "[Settings]\nPort=TCP/IP\nIP=" + ip +
                           "\nTimeout=300\nResultTimeout=3000\nLogFile=YES\nRealtime=YES\n");
  }
  void TearDown() override { printer.Terminate(); }

  bool Start(support::ChildProcess& relay, const std::string& folder) {
    support::ChildProcess::Options options;
    options.environment = {{"XDG_CONFIG_HOME", config.path()}};
    return relay.Start({folder + "/portrelay"}, options);
  }

  // Starts the relay in the empty folder and waits for the end of the pair
  // installation; returns how long that took.
  std::chrono::milliseconds FirstStart(support::ChildProcess& relay) {
    const auto begin = Clock::now();
    EXPECT_TRUE(Start(relay, dir.path()));
    EXPECT_TRUE(relay.WaitForOutput(kDone, 30000)) << relay.Output();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
  }

  // Writes a job to the application end and waits until the printer has it.
  void Relay(support::SerialClient& app, const std::string& job) {
    ASSERT_TRUE(app.Write(job));
    EXPECT_TRUE(WaitForText(dir.File("printer.bin"), job, 10000))
        << support::ReadLogFolder(dir.path())
        << "\nprinter got: " << support::ReadFile(dir.File("printer.bin"));
  }

  void Stop(support::ChildProcess& relay) {
    relay.Signal(SIGTERM);
    auto status = relay.WaitExit(10000);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
  }

  support::TempDir dir;
  support::TempDir config;
  std::string ip;
  printersim::SimProcess printer;
};

TEST_F(FreshMachine, FirstStartInstallsThePairRegistersAutostartAndRelays) {
  support::ChildProcess relay;
  const auto took = FirstStart(relay);
  std::printf("first start with the pair installation took %lld ms\n",
              static_cast<long long>(took.count()));
  EXPECT_TRUE(relay.WaitForOutput(kNotConfigured, 0));

  // The installer registered pair 0 with the first free COM names and the
  // relay end's entry in the port map; PortLists.ini names the relay end.
  const std::string registry = support::ReadFile(dir.File("registry.reg"));
  EXPECT_NE(registry.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\"
                          "CNCA0\\Device Parameters]\n\"PortName\"=\"COM1\""),
            std::string::npos)
      << registry;
  EXPECT_NE(registry.find("CNCB0\\Device Parameters]\n\"PortName\"=\"COM2\""), std::string::npos);
  EXPECT_EQ(fs::read_symlink(dir.File("dosdevices/com2")).string(), "pty:com1");
  EXPECT_EQ(support::ReadFile(dir.File("PortLists.ini")), "[Ports]\nPort1=COM2\n");

  // The launcher beside the program starts at log-on.
  EXPECT_NE(registry.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]"
                          "\n\"portrelay\"=\"" +
                          dir.File("relaytray") + "\""),
            std::string::npos);
  const std::string entry = support::ReadFile(config.path() + "/autostart/portrelay.desktop");
  EXPECT_NE(entry.find("Exec=\"" + dir.File("relaytray") + "\"\n"), std::string::npos) << entry;

  support::SerialClient app;
  ASSERT_TRUE(app.OpenWhenPresent(dir.File("dosdevices/com1"), 10000)) << relay.Output();
  Relay(app, "\x1b@first job through the new pair\n");
  EXPECT_TRUE(
      WaitForText(dir.File("MainLog/") +
                      fs::directory_iterator(dir.File("MainLog"))->path().filename().string(),
                  "TIMEOUT : COM2 port", 10000));
  EXPECT_TRUE(relay.Running());
  app.Close();
  Stop(relay);
}

TEST_F(FreshMachine, ASecondStartFindsItsRegistrationAndInstallsNothing) {
  support::ChildProcess first;
  FirstStart(first);
  Stop(first);
  const std::string registry = support::ReadFile(dir.File("registry.reg"));

  support::ChildProcess second;
  ASSERT_TRUE(Start(second, dir.path()));
  support::SerialClient app;
  ASSERT_TRUE(app.OpenWhenPresent(dir.File("dosdevices/com1"), 10000)) << second.Output();
  Relay(app, "\x1b@second start\n");
  EXPECT_FALSE(second.WaitForOutput(kNotConfigured, 0)) << second.Output();
  EXPECT_FALSE(second.WaitForOutput(kMoved, 0));
  EXPECT_FALSE(second.WaitForOutput(kDone, 0));
  EXPECT_EQ(support::ReadFile(dir.File("registry.reg")), registry);
  app.Close();
  Stop(second);
}

TEST_F(FreshMachine, ACopiedFolderClosesWithTheMovedFolderMessage) {
  support::ChildProcess first;
  FirstStart(first);
  Stop(first);

  support::TempDir copy;
  fs::copy(dir.path(), copy.path(),
           fs::copy_options::recursive | fs::copy_options::copy_symlinks |
               fs::copy_options::overwrite_existing);
  fs::remove_all(copy.File("MainLog"));
  support::ChildProcess moved;
  ASSERT_TRUE(Start(moved, copy.path()));
  auto status = moved.WaitExit(15000);
  ASSERT_TRUE(status.has_value()) << moved.Output();
  EXPECT_EQ(*status, 1);
  EXPECT_TRUE(moved.WaitForOutput(kMoved, 0)) << moved.Output();
  // The copy neither re-registered itself nor installed a pair.
  EXPECT_EQ(support::ReadFile(copy.File("registry.reg")),
            support::ReadFile(dir.File("registry.reg")));
}

TEST_F(FreshMachine, AnInstallerThatCrashesLeavesARunningRelayWithoutAPort) {
  fs::remove(dir.File("pairsetup"));
  support::WriteFile(dir.File("pairsetup"), "#!/bin/sh\nkill -SEGV $$\n");
  fs::permissions(dir.File("pairsetup"), fs::perms::owner_all);
  support::ChildProcess relay;
  FirstStart(relay);
  EXPECT_TRUE(relay.WaitForOutput("If you are installing the virtual COM port", 0));
  EXPECT_EQ(support::ReadFile(dir.File("PortLists.ini")), "[Ports]\nPort1=\n");
  EXPECT_TRUE(relay.Running());
  Stop(relay);
}

}  // namespace
