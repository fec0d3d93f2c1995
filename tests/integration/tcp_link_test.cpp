// The real TcpLink (through the link front, real sockets and clock) against
// the printer simulator running as a separate process on 127.0.0.1.
#include "links/tcp_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "links/link_front.h"
#include "platform/platform.h"
#include "tests/support/temp_dir.h"
#include "tools/printer-sim/sim_process.h"

namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;

long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count();
}

class TcpLinkOnSimulator : public ::testing::Test {
 protected:
  void StartSim(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--tcp", "127.0.0.1:0", "--record", dir.File("rx.bin")};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_EQ(sim.Start(printersim::SimBinaryPath(), args, &error), 0) << error;
  }
  // Sends an operator command and waits for a state line that shows it applied.
  void Control(const std::string& command, const std::string& shows) {
    ASSERT_EQ(sim.Send(command), 0);
    for (;;) {
      const auto line = sim.events().Next("state ", milliseconds(5000));
      ASSERT_TRUE(line.has_value()) << command << "\n" << sim.events().Dump();
      if (line->find(shows) != std::string::npos) return;
    }
  }
  bool Event(const std::string& prefix, int ms = 5000) {
    return sim.events().Next(prefix, milliseconds(ms)).has_value();
  }
  int Open() { return front->OpenLink("127.0.0.1", sim.port()); }
  int Write(const Bytes& b) { return front->WriteLink(b.data(), static_cast<int>(b.size())); }

  support::TempDir dir;
  printersim::SimProcess sim;
  std::unique_ptr<links::LinkFront> front = links::NewLinkFront(platform::Native());
};

TEST_F(TcpLinkOnSimulator, JobIsSentAndConfirmedByTheProcessIdReply) {
  StartSim();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Open(), 0) << sim.events().Dump();
  const long long openMs = MsSince(start);
  std::printf("TcpLink open against a healthy simulator: %lld ms\n", openMs);
  RecordProperty("open_ms", std::to_string(openMs));
  EXPECT_LT(openMs, 2000);

  const Bytes job = {0x1B, 0x40, 'R', 'e', 'c', 'e', 'i', 'p', 't', 0x0A, 0x1D, 0x56, 0x00};
  EXPECT_EQ(Write(job), 1);
  EXPECT_EQ(front->WaitPrintResult(5000), 0u) << sim.events().Dump();
  EXPECT_TRUE(Event("cmd GS_(H 46464646"));
  EXPECT_EQ(front->CloseLink(), 0);
  EXPECT_TRUE(Event("cmd GS_a 0"));
  EXPECT_TRUE(Event("conn close"));
  const std::string received = support::ReadFile(dir.File("rx.bin"));
  EXPECT_NE(received.find(std::string(job.begin(), job.end())), std::string::npos);
}

TEST_F(TcpLinkOnSimulator, CoverOpenedDuringAJobEndsTheWaitWithCode1) {
  StartSim();
  ASSERT_EQ(Open(), 0);
  // The application switches Automatic Status Back on as part of its job.
  EXPECT_EQ(Write({0x1D, 0x61, 0xFF, 'A', 0x0A}), 1);
  ASSERT_TRUE(Event("cmd GS_a 255"));
  Control("cover open", "cover=open");
  EXPECT_EQ(front->WaitPrintResult(5000), 1u);
  EXPECT_EQ(front->GetStatus(), 1u);
  Control("cover close", "cover=closed");
  for (int i = 0; i < 50 && front->GetStatus() != 0; ++i) {
    std::this_thread::sleep_for(milliseconds(100));
  }
  EXPECT_EQ(front->GetStatus(), 0u);
  EXPECT_EQ(front->WaitPrintResult(5000), 0u);
  front->CloseLink();
}

TEST_F(TcpLinkOnSimulator, FaultsAtOpen) {
  const struct {
    const char* state;
    int result;
  } cases[] = {{"paper-out", 4}, {"cover-open", 1}, {"silent", 8}};
  for (const auto& c : cases) {
    printersim::SimProcess other;
    std::string error;
    ASSERT_EQ(other.Start(printersim::SimBinaryPath(), {"--tcp", "127.0.0.1:0", "--state", c.state},
                          &error),
              0)
        << error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(front->OpenLink("127.0.0.1", other.port()), c.result) << c.state;
    EXPECT_LT(MsSince(start), 3500) << c.state;
    // Nothing stays open: the printer sees the connection go.
    EXPECT_TRUE(other.events().Next("conn close", milliseconds(3000)).has_value()) << c.state;
  }
}

TEST_F(TcpLinkOnSimulator, PrinterSwitchedOffRefusesAndGives8) {
  StartSim();
  Control("power off", "power=off");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Open(), 8);
  EXPECT_LT(MsSince(start), 1000);
}

TEST_F(TcpLinkOnSimulator, SplitRepliesAreStillRecognised) {
  StartSim({"--state", "split"});
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Write({0x1B, 0x40, 'S', 0x0A}), 1);
  EXPECT_EQ(front->WaitPrintResult(5000), 0u) << sim.events().Dump();
  front->CloseLink();
}

TEST_F(TcpLinkOnSimulator, APrinterThatDropsTheConnectionIsOffUntilItIsReachedAgain) {
  StartSim();
  ASSERT_EQ(Open(), 0);
  Control("power off", "power=off");
  const Bytes line(4096, 'x');
  int result = 1;
  for (int i = 0; i < 20 && result == 1; ++i) result = Write(line);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(front->WaitPrintResult(300), 8u);
  EXPECT_EQ(front->GetStatus(), 8u);

  Control("power on", "power=on");
  ASSERT_TRUE(sim.events().Next("conn open", std::chrono::seconds(5))) << sim.events().Dump();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (front->GetStatus() != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(front->GetStatus(), 0u);
  EXPECT_EQ(Write({0x1B, 0x40, 'B', 'A', 'C', 'K', 0x0A}), 1);
  EXPECT_EQ(front->WaitPrintResult(5000), 0u) << sim.events().Dump();
  EXPECT_EQ(front->CloseLink(), 0);
}

// A listening socket whose accept queue is full drops further SYNs, like a
// host that does not answer.
class FullBacklog {
 public:
  bool Fill() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return false;
    port_ = ntohs(a.sin_port);
    for (int i = 0; i < 8; ++i) {
      const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      clients_.push_back(c);
      ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
      fd_set w;
      FD_ZERO(&w);
      FD_SET(c, &w);
      timeval tv{0, 300000};
      if (::select(c + 1, nullptr, &w, nullptr, &tv) == 0) return true;  // this SYN was dropped
    }
    return false;
  }
  ~FullBacklog() {
    for (int c : clients_) ::close(c);
    if (listener_ >= 0) ::close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> clients_;
};

TEST(TcpLinkConnect, HostDroppingTheSynGives8AfterFourSeconds) {
  FullBacklog host;
  if (!host.Fill()) GTEST_SKIP() << "loopback completed every connect; no dropped SYN to test";
  auto front = links::NewLinkFront(platform::Native());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(front->OpenLink("127.0.0.1", host.port()), 8);
  const long long ms = MsSince(start);
  EXPECT_GE(ms, 3900);
  EXPECT_LT(ms, 5500);
  auto* tcp = static_cast<links::TcpLink*>(front->deviceLink(links::kLinkTcp));
  EXPECT_FALSE(tcp->holdsSocket());
}

}  // namespace
