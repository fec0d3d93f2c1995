// The spooler link on Linux: a raw CUPS job through a private cupsd (its own
// configuration and state in a temporary directory, reached on a unix socket)
// whose raw queue prints to the printer simulator over 127.0.0.1.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "links/link_front.h"
#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tools/printer-sim/sim_process.h"

namespace {

using std::chrono::milliseconds;

class PrivateCups {
 public:
  explicit PrivateCups(const support::TempDir& dir) : dir_(dir) {}
  ~PrivateCups() {
    unsetenv("CUPS_SERVER");
    if (cupsd_.Running()) {
      cupsd_.Signal(SIGTERM);
      cupsd_.WaitExit(5000);
    }
  }

  std::string socket() const { return dir_.File("cups.sock"); }

  // Starts cupsd and adds a raw queue printing to `deviceUri`. Empty, or why not.
  std::string Start(const std::string& queue, const std::string& deviceUri) {
    if (!std::filesystem::exists("/usr/sbin/cupsd") ||
        !std::filesystem::exists("/usr/sbin/lpadmin"))
      return "cupsd or lpadmin is not installed";
    const std::string d = dir_.path();
    for (const char* sub : {"spool", "cache", "state", "tmp", "log"}) {
      std::filesystem::create_directories(d + "/" + sub);
    }
    std::filesystem::permissions(d + "/tmp",
                                 std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    support::WriteFile(d + "/cups-files.conf",
                       "ServerRoot " + d + "\nRequestRoot " + d + "/spool\nCacheDir " + d +
                           "/cache\nStateDir " + d + "/state\nTempDir " + d + "/tmp\nErrorLog " +
                           d + "/log/error_log\nAccessLog " + d + "/log/access_log\nPageLog " + d +
                           "/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                           "FileDevice No\nSandboxing relaxed\n");
    support::WriteFile(d + "/cupsd.conf",
                       "Listen " + socket() +
                           "\nLogLevel warn\nBrowsing No\nWebInterface No\n"
                           "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                           "</Location>\n<Policy default>\n  <Limit All>\n    Order allow,deny\n"
                           "    Allow all\n  </Limit>\n</Policy>\n");
    if (!cupsd_.Start(
            {"/usr/sbin/cupsd", "-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"}))
      return "cupsd did not start";
    // The scheduler takes a moment to listen; lpadmin fails until it does.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string output;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!cupsd_.Running()) return "cupsd ended: " + cupsd_.Output();
      support::ChildProcess lpadmin;
      support::ChildProcess::Options options;
      options.environment = {{"CUPS_SERVER", socket()}};
      lpadmin.Start({"/usr/sbin/lpadmin", "-p", queue, "-v", deviceUri, "-E"}, options);
      const auto status = lpadmin.WaitExit(5000);
      if (status && *status == 0) {
        setenv("CUPS_SERVER", socket().c_str(), 1);
        cupsSetServer(socket().c_str());
        return {};
      }
      output = lpadmin.Output();
      std::this_thread::sleep_for(milliseconds(200));
    }
    return "no queue could be added: " + output;
  }

 private:
  const support::TempDir& dir_;
  support::ChildProcess cupsd_;
};

TEST(SpoolerLinkOnCups, RawJobReachesThePrinterByteForByte) {
  support::TempDir dir;
  printersim::SimProcess sim;
  std::string error;
  ASSERT_EQ(sim.Start(printersim::SimBinaryPath(),
                      {"--tcp", "127.0.0.1:0", "--record", dir.File("rx.bin")}, &error),
            0)
      << error;
  PrivateCups cups(dir);
  const std::string why = cups.Start(
      "relaytest", "socket://127.0.0.1:" + std::to_string(sim.port()) + "/?waiteof=false");
  if (!why.empty()) GTEST_SKIP() << "no private cupsd: " << why;

  std::vector<uint8_t> job;
  for (int i = 0; i < 10000; ++i) job.push_back(static_cast<uint8_t>(i * 7));
  auto front = links::NewLinkFront(platform::Native());
  ASSERT_EQ(front->OpenLink("relaytest", 1), 0);
  EXPECT_EQ(front->WriteLink(job.data(), static_cast<int>(job.size())), 1);
  EXPECT_EQ(front->CloseLink(), 0);

  ASSERT_TRUE(sim.events().Next("conn close", milliseconds(20000)).has_value())
      << sim.events().Dump();
  EXPECT_EQ(support::ReadFile(dir.File("rx.bin")), std::string(job.begin(), job.end()));
  EXPECT_EQ(front->OpenLink("no-such-queue", 1), -1);
  EXPECT_EQ(front->CloseLink(), 2);
}

}  // namespace
