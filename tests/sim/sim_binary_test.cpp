// The printer-sim program as a separate process, driven over stdin the way
// other suites and the demo use it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/sim/sim_test_env.h"
#include "tests/sim/tcp_test_client.h"
#include "tools/printer-sim/sim_process.h"

namespace printersim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Runs the program to completion (bounded by timeout(1)); exit status and
// output.
int RunToExit(const std::string& args, std::string* output) {
  const std::string command = "timeout 10 " + SimBinaryPath() + " " + args + " 2>&1 </dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) output->append(buf, n);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SimBinaryTest, UsageErrorsAndHelp) {
  struct Case {
    const char* args;
    int status;
    const char* output_has;
  };
  const Case cases[] = {
      {"--help", 0, "split on | split off"},
      {"", 2, "exactly one of --tcp"},
      {"--tcp 127.0.0.1:0 --pty /tmp/x", 2, "exactly one of --tcp"},
      {"--tcp 127.0.0.1:0 --profile nosuch", 2, "unknown profile"},
      {"--tcp 127.0.0.1:0 --state upside-down", 2, "unknown state"},
      {"--tcp 127.0.0.1", 1, "bad TCP address"},
      {"--help", 0, "--render DIR"},
      {"--tcp 127.0.0.1:0 --render", 2, "--render needs a value"},
      {"--tcp 127.0.0.1:0 --render=", 2, "--render wants a folder"},
      {"--tcp 127.0.0.1:0 --render /tmp --render-gap 0", 2, "--render-gap wants milliseconds"},
      {"--tcp 127.0.0.1:0 --render-gap 5s", 2, "--render-gap wants milliseconds"},
      {"--tcp 127.0.0.1:0 --render /proc/version/jobs", 1, "render folder /proc/version/jobs"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunToExit(c.args, &output), c.status) << c.args;
    EXPECT_NE(output.find(c.output_has), std::string::npos) << c.args << ":\n" << output;
  }
}

// A whole session: initial state from --state, ASB, a job held by an open
// cover and released on close, stdin closed without quitting, SIGTERM.
TEST(SimBinaryTest, StdinDrivenSessionOverTcp) {
  ScratchDir dir;
  const std::string record = dir.File("record.bin");
  SimProcess sim;
  std::string error;
  ASSERT_EQ(sim.Start(SimBinaryPath(),
                      {"--tcp", "127.0.0.1:0", "--profile", "offline", "--state", "near-end",
                       "--record", record},
                      &error),
            0)
      << error;
  ASSERT_NE(sim.port(), 0);
  EXPECT_TRUE(sim.events().Next("state cover=closed paper=near-end power=on", 2s));

  TcpTestClient host;
  ASSERT_EQ(host.Connect(sim.port()), 0);
  const Bytes asb_on = {0x1D, 0x61, 0xFF};
  ASSERT_TRUE(host.Send(asb_on));
  EXPECT_EQ(host.Read(4, 2s), (Bytes{0x10, 0x00, 0x03, 0x0F}));

  ASSERT_EQ(sim.Send("cover open"), 0);
  EXPECT_EQ(host.Read(4, 2s), (Bytes{0x38, 0x00, 0x03, 0x0F}));
  const Bytes job = {'T',  'o',  't',  'a',  'l',  '\n', 0x1D, 0x56, 0x42, 0x00, 0x1D,
                     0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 0x39, 0x38, 0x37, 0x36};
  ASSERT_TRUE(host.Send(job));
  ASSERT_TRUE(sim.events().Next("cmd GS_(H 39383736", 2s));
  EXPECT_TRUE(host.Read(1, 200ms).empty()) << "process ID answered with the cover open";
  ASSERT_TRUE(host.Send({0x10, 0x04, 0x02}));
  EXPECT_EQ(host.Read(1, 2s), Bytes{0x16});

  ASSERT_EQ(sim.Send("cover close"), 0);
  EXPECT_EQ(host.Read(11, 2s),
            (Bytes{0x10, 0x00, 0x03, 0x0F, 0x37, 0x22, 0x39, 0x38, 0x37, 0x36, 0x00}));

  sim.CloseStdin();  // End of input is not a reason to quit.
  ASSERT_TRUE(host.Send({0x10, 0x04, 0x01}));
  EXPECT_EQ(host.Read(1, 2s), Bytes{0x16});

  Bytes all = asb_on;
  all.insert(all.end(), job.begin(), job.end());
  for (const Bytes& b : {Bytes{0x10, 0x04, 0x02}, Bytes{0x10, 0x04, 0x01}}) {
    all.insert(all.end(), b.begin(), b.end());
  }
  EXPECT_EQ(ReadWholeFile(record), all);

  const int status = sim.Terminate(5s);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto lines = sim.events().Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "exit");
}

TEST(SimBinaryTest, QuitCommandEndsAPtySessionAndRemovesTheLink) {
  ScratchDir dir;
  const std::string link = dir.File("com3");
  SimProcess sim;
  std::string error;
  ASSERT_EQ(sim.Start(SimBinaryPath(), {"--pty", link, "--state", "power-off"}, &error), 0)
      << error;
  EXPECT_EQ(sim.listen_line().rfind("listen pty " + link + " /dev/pts/", 0), 0u)
      << sim.listen_line();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  ASSERT_EQ(sim.Send("cover sideways"), 0);
  EXPECT_TRUE(sim.events().Next("error unknown command: cover sideways", 2s));
  ASSERT_EQ(sim.Send("quit"), 0);
  const int status = sim.WaitExit(5s);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

}  // namespace
}  // namespace printersim
