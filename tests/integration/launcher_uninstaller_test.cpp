// The Linux relaytray and relayremove with the real portrelay in a folder
// that plays one machine: the program of the XDG autostart entry (the
// launcher) starts the relay, which relays a job; the remover stops that
// relay by its lock, leaves another installation's relay running, and
// deletes the Run value, the autostart entry and the two settings files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

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

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

// The relay holding an installation's lock, or 0.
pid_t RelayOf(const std::string& folder) {
  const std::string lock = folder + "/.KelvoSvr.lock";
  const int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  pid_t pid = 0;
  if (flock(fd, LOCK_SH | LOCK_NB) != 0) pid = std::atoi(support::ReadFile(lock).c_str());
  close(fd);
  return pid;
}

// One installation: the four programs, settings for a network printer, and
// its own XDG configuration folder.
class Installation {
 public:
  explicit Installation(const std::string& ip) {
    for (const char* program : {"portrelay", "pairsetup", "relaytray", "relayremove"})
      fs::copy_file(support::ExecutableDirectory() + "/" + program, dir.File(program));
    support::WriteFile(dir.File("Settings.ini"),
                       "[Settings]\nPort=TCP/IP\nIP=" + ip +
                           "\nTimeout=300\nResultTimeout=3000\nLogFile=YES\nRealtime=YES\n");
  }
  // A relay the test lost track of must not outlive it.
  ~Installation() {
    if (const pid_t pid = RelayOf(dir.path()); pid > 0) kill(pid, SIGKILL);
  }

  // Runs a program of the installation to its end; its output goes to a file
  // (a relay it starts keeps that output, and outlives it).
  std::optional<int> Run(const std::string& program, const std::string& output,
                         const std::vector<std::pair<std::string, std::string>>& env = {}) {
    support::ChildProcess child;
    support::ChildProcess::Options options;
    options.environment = {{"XDG_CONFIG_HOME", config.path()}};
    options.environment.insert(options.environment.end(), env.begin(), env.end());
    if (!child.Start({"/bin/sh", "-c", "exec \"$0\" >\"$1\" 2>&1", program, output}, options))
      return std::nullopt;
    return child.WaitExit(30000);
  }

  std::string AutostartEntry() const { return config.path() + "/autostart/portrelay.desktop"; }
  std::string Registry() const { return support::ReadFile(dir.File("registry.reg")); }

  support::TempDir dir;
  support::TempDir config;
};

class LauncherAndRemover : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ip = printer.StartOnLoopback({"--record", record.File("printer.bin")}, &error);
    ASSERT_FALSE(ip.empty()) << "no loopback address for the printer";
  }
  void TearDown() override { printer.Terminate(); }

  // The first start registers the launcher for log-on (and installs the
  // pair); the relay then ends as at log-off.
  void FirstStartAndLogOff(Installation& machine) {
    support::ChildProcess relay;
    support::ChildProcess::Options options;
    options.environment = {{"XDG_CONFIG_HOME", machine.config.path()}};
    ASSERT_TRUE(relay.Start({machine.dir.File("portrelay")}, options));
    ASSERT_TRUE(relay.WaitForOutput(core::texts::kChangesDone.english, 30000)) << relay.Output();
    ASSERT_TRUE(fs::exists(machine.AutostartEntry()));
    relay.Signal(SIGTERM);
    ASSERT_TRUE(relay.WaitExit(10000).has_value());
  }

  // The program the desktop session starts at log-on.
  static std::string ExecOf(const std::string& entry) {
    const std::string text = support::ReadFile(entry);
    const size_t at = text.find("\nExec=\"");
    if (at == std::string::npos) return "";
    const size_t start = at + 7, end = text.find("\"\n", start);
    return end == std::string::npos ? "" : text.substr(start, end - start);
  }

  support::TempDir record;
  std::string ip;
  printersim::SimProcess printer;
};

TEST_F(LauncherAndRemover, TheAutostartProgramStartsTheRelayAndTheRemoverStopsItAndCleansUp) {
  Installation machine(ip);
  FirstStartAndLogOff(machine);

  // Log-on: the autostart entry names the launcher beside the relay.
  const std::string program = ExecOf(machine.AutostartEntry());
  ASSERT_EQ(program, machine.dir.File("relaytray"));
  const auto launched = machine.Run(program, machine.dir.File("log-on.txt"));
  ASSERT_TRUE(launched.has_value());
  EXPECT_EQ(*launched, 0) << support::ReadFile(machine.dir.File("log-on.txt"));
  ASSERT_TRUE(WaitUntil([&] { return RelayOf(machine.dir.path()) > 0; }, 10000));
  const pid_t relay = RelayOf(machine.dir.path());

  // It relays.
  support::SerialClient app;
  ASSERT_TRUE(app.OpenWhenPresent(machine.dir.File("dosdevices/com1"), 10000));
  const std::string job = "\x1b@job after log-on\n";
  ASSERT_TRUE(app.Write(job));
  EXPECT_TRUE(WaitUntil(
      [&] { return support::ReadFile(record.File("printer.bin")).find(job) != std::string::npos; },
      10000));
  app.Close();

  const auto removed = machine.Run(machine.dir.File("relayremove"), machine.dir.File("remove.txt"),
                                   {{"PORTRELAY_DEBUG", "1"}});
  ASSERT_TRUE(removed.has_value());
  EXPECT_EQ(*removed, 0);
  const std::string traces = support::ReadFile(machine.dir.File("remove.txt"));
  EXPECT_NE(traces.find("실행 중...!"), std::string::npos) << traces;
  EXPECT_EQ(RelayOf(machine.dir.path()), 0) << traces;
  EXPECT_TRUE(WaitUntil([&] { return kill(relay, 0) != 0; }, 5000));
  EXPECT_EQ(machine.Registry().find("\"portrelay\"="), std::string::npos) << machine.Registry();
  EXPECT_FALSE(fs::exists(machine.AutostartEntry()));
  EXPECT_FALSE(fs::exists(machine.dir.File("Settings.ini")));
  EXPECT_FALSE(fs::exists(machine.dir.File("PortLists.ini")));
}

TEST_F(LauncherAndRemover, TheRemoverLeavesAnotherInstallationsRelayRunning) {
  Installation mine(ip), other(ip);
  FirstStartAndLogOff(mine);
  FirstStartAndLogOff(other);
  ASSERT_EQ(mine.Run(mine.dir.File("relaytray"), mine.dir.File("out.txt")), 0);
  ASSERT_EQ(other.Run(other.dir.File("relaytray"), other.dir.File("out.txt")), 0);
  ASSERT_TRUE(WaitUntil(
      [&] { return RelayOf(mine.dir.path()) > 0 && RelayOf(other.dir.path()) > 0; }, 10000));

  ASSERT_EQ(mine.Run(mine.dir.File("relayremove"), mine.dir.File("remove.txt")), 0);
  EXPECT_EQ(RelayOf(mine.dir.path()), 0);
  EXPECT_GT(RelayOf(other.dir.path()), 0);
  EXPECT_TRUE(fs::exists(other.AutostartEntry()));
  EXPECT_TRUE(fs::exists(other.dir.File("Settings.ini")));
}

TEST_F(LauncherAndRemover, WithoutARunningRelayTheRemoverStillCleansUpAndRunsTheEntry) {
  Installation machine(ip);
  // Left behind by an installation elsewhere, read-only settings, and an
  // uninstall entry whose name differs in case only.
  support::WriteFile(
      machine.dir.File("registry.reg"),
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\n"
      "\"portrelay\"=\"/elsewhere/relaytray\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\kelvo]\n"
      "\"DisplayName\"=\"kelvo dovi service 2.10\"\n"
      "\"UninstallString\"=\"touch '" +
          machine.dir.File("entry ran") + "'\"\n");
  support::WriteFile(machine.dir.File("PortLists.ini"), "[Ports]\nPort1=COM2\n");
  chmod(machine.dir.File("Settings.ini").c_str(), 0444);
  chmod(machine.dir.File("PortLists.ini").c_str(), 0444);
  fs::create_directories(machine.config.path() + "/autostart");
  support::WriteFile(machine.AutostartEntry(), "[Desktop Entry]\nExec=\"/elsewhere/relaytray\"\n");

  const auto removed = machine.Run(machine.dir.File("relayremove"), machine.dir.File("remove.txt"),
                                   {{"PORTRELAY_DEBUG", "1"}});
  ASSERT_TRUE(removed.has_value());
  EXPECT_EQ(*removed, 0);
  const std::string traces = support::ReadFile(machine.dir.File("remove.txt"));
  EXPECT_NE(traces.find("실행 xxx..!"), std::string::npos) << traces;
  EXPECT_TRUE(fs::exists(machine.dir.File("entry ran"))) << traces;
  EXPECT_EQ(machine.Registry().find("\"portrelay\"="), std::string::npos);
  EXPECT_FALSE(fs::exists(machine.AutostartEntry()));
  EXPECT_FALSE(fs::exists(machine.dir.File("Settings.ini")));
  EXPECT_FALSE(fs::exists(machine.dir.File("PortLists.ini")));
}

struct FailureRow {
  const char* what;
  const char* relay;  // what stands where portrelay should be: "" none, "text" a file
  const char* language;
  const char* expected;
};

TEST_F(LauncherAndRemover, AFailedStartIsReportedOnStandardOutputInTheLocalesLanguage) {
  const FailureRow rows[] = {
      {"missing", "", "C.UTF-8",
       "KELVO DUZI Service execution - Error\nThe executable file could not be found.\n"},
      {"missing", "", "ko_KR.UTF-8",
       "KELVO DOVI 서비스 실행 - 장애 발생\n실행 파일을 찾을 수 없습니다.\n"},
      {"not executable", "text", "C.UTF-8",
       "KELVO DUZI Service execution - Error\nAccess to the specified file is denied.\n"},
  };
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(std::string(row.what) + " " + row.language);
    Installation machine(ip);
    fs::remove(machine.dir.File("portrelay"));
    if (row.relay[0]) support::WriteFile(machine.dir.File("portrelay"), row.relay);
    const auto status = machine.Run(machine.dir.File("relaytray"), machine.dir.File("out.txt"),
                                    {{"LC_ALL", row.language}});
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 1);
    EXPECT_NE(support::ReadFile(machine.dir.File("out.txt")).find(row.expected), std::string::npos)
        << support::ReadFile(machine.dir.File("out.txt"));
  }
}

}  // namespace
