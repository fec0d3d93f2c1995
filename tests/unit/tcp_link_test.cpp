// TcpLink's open (start-up, connect, status probe), write, status disable and
// close against scripted sockets on a fake clock.
#include "links/tcp_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_sockets.h"

namespace {

using fakes::Bytes;

const Bytes kEot2 = {0x10, 0x04, 0x02};
const Bytes kEot4 = {0x10, 0x04, 0x04};

class TcpLinkTest : public ::testing::Test {
 protected:
  void Printer(uint8_t eot2, uint8_t eot4, uint32_t eot2DelayMs = 0) {
    sockets.Answer(kEot2, {eot2}, eot2DelayMs);
    sockets.Answer(kEot4, {eot4});
  }
  int Open() { return link.Open("192.168.0.50", 9100); }
  uint32_t Elapsed() { return clock.NowMs() - start; }

  fakes::FakeClock clock;
  fakes::FakeSockets sockets{clock};
  fakes::FakeSystem system;
  links::TcpLink link{clock, sockets, system, links::ReaderMode::kManual};
  uint32_t start = 0;
};

TEST_F(TcpLinkTest, HealthyPrinterConnectsWithTheWinsockOptionsAndProbes) {
  Printer(0x12, 0x12);
  ASSERT_EQ(link.Open("192.168.0.50", 0x12384), 0);  // only the low 16 bits count
  EXPECT_TRUE(link.connected());
  EXPECT_EQ(sockets.lastPeer().address, 0xC0A80032u);
  EXPECT_EQ(sockets.lastPeer().port, 0x2384);
  EXPECT_EQ(sockets.options(),
            (std::vector<std::pair<std::string, uint32_t>>{
                {"SO_RCVTIMEO", 500}, {"SO_SNDBUF", 0}, {"SO_SNDTIMEO", 2000}, {"FIONBIO", 1}}));
  EXPECT_EQ(sockets.connectWaits(), std::vector<uint32_t>{4000});
  EXPECT_EQ(sockets.sendCalls(), (std::vector<Bytes>{kEot2, kEot4}));
  // Probe 400 ms; no reader thread here, so the start waits its full 16 x 200 + 200 ms.
  EXPECT_EQ(Elapsed(), 400u + 3400u);
  EXPECT_TRUE(system.messageBoxes().empty());
}

TEST_F(TcpLinkTest, ProbeResultsFromTheRealTimeStatusBytes) {
  const struct {
    uint8_t eot2, eot4;
    int result;
  } cases[] = {
      {0x12, 0x12, 0}, {0x12, 0x1E, 0},  // near end does not stop the open
      {0x16, 0x12, 1}, {0x12, 0x32, 4}, {0x12, 0x52, 4}, {0x12, 0x7E, 4},
  };
  for (const auto& c : cases) {
    fakes::FakeSockets s(clock);
    s.Answer(kEot2, {c.eot2});
    s.Answer(kEot4, {c.eot4});
    links::TcpLink l(clock, s, system, links::ReaderMode::kManual);
    EXPECT_EQ(l.Open("10.0.0.9", 9100), c.result) << int(c.eot2) << "/" << int(c.eot4);
    EXPECT_EQ(l.state().coverOpen, c.result == 1 ? 1 : 0);
    // A failed probe keeps the socket until close and starts no reader.
    EXPECT_EQ(l.state().readerStarted, 0);
    EXPECT_EQ(s.heldSockets(), 1);
    l.Close();
    EXPECT_EQ(s.heldSockets(), 0);
  }
}

TEST_F(TcpLinkTest, CoverOpenAnswerEndsTheProbeBeforeThePaperQuestion) {
  Printer(0x16, 0x12);
  EXPECT_EQ(Open(), 1);
  EXPECT_EQ(sockets.sendCalls(), std::vector<Bytes>{kEot2});
}

TEST_F(TcpLinkTest, SilentPrinterGives8AfterTwentySixPollsAndOneRetryPause) {
  EXPECT_EQ(Open(), 8);
  EXPECT_EQ(Elapsed(), 100u + 26 * 100u + 180u);
  EXPECT_EQ(sockets.sendCalls(), std::vector<Bytes>{kEot2});
  EXPECT_TRUE(link.holdsSocket());
}

TEST_F(TcpLinkTest, LateAnswerCountsWhileThePollCounterHasNotPassed25) {
  Printer(0x12, 0x12, 2550);  // ready just before the 26th poll
  EXPECT_EQ(Open(), 0);
  link.Close();
  fakes::FakeSockets late(clock);
  late.Answer(kEot2, {0x12}, 2650);  // ready only after it
  late.Answer(kEot4, {0x12});
  links::TcpLink l(clock, late, system, links::ReaderMode::kManual);
  EXPECT_EQ(l.Open("10.0.0.9", 9100), 8);
}

TEST_F(TcpLinkTest, ConnectNotCompletedWithinFourSecondsGives8AndHoldsNothing) {
  sockets.connectWritable = 0;
  EXPECT_EQ(Open(), 8);
  EXPECT_EQ(Elapsed(), 4000u);
  EXPECT_FALSE(link.holdsSocket());
  EXPECT_EQ(sockets.heldSockets(), 0);
}

TEST_F(TcpLinkTest, HeldSocketFailsTheNextOpenWhichReleasesIt) {
  sockets.connectResult = platform::kSocketError;
  EXPECT_EQ(Open(), -1);
  EXPECT_TRUE(link.holdsSocket());
  EXPECT_EQ(Open(), -1);
  EXPECT_EQ(sockets.openCount(), 1);  // the second attempt made no socket
  EXPECT_EQ(sockets.heldSockets(), 0);
  sockets.connectResult = platform::kSocketWouldBlock;
  Printer(0x12, 0x12);
  EXPECT_EQ(Open(), 0);
}

TEST_F(TcpLinkTest, SetUpFailuresAndTheirCodes) {
  sockets.startupResult = 10091;
  EXPECT_EQ(Open(), -3);
  sockets.startupResult = 0;
  sockets.grantedVersion = {1, 1};
  EXPECT_EQ(Open(), -2);
  EXPECT_EQ(system.messageBoxes(),
            (std::vector<std::string>{
                "WSAStartup error|Unable to start TCP/IP stack",
                "WSAStartup Version Warning|wrong version of protocol stack, need 2.0"}));
  sockets.grantedVersion = {2, 2};
  sockets.failOpenStream = true;
  EXPECT_EQ(Open(), -2);
  sockets.failOpenStream = false;
  sockets.failNonBlocking = true;
  EXPECT_EQ(Open(), -1);
  link.Close();
  sockets.failNonBlocking = false;
  EXPECT_EQ(link.Open("printer.local", 9100), -1);  // no dotted address
  EXPECT_TRUE(sockets.connectWaits().empty());
}

class TcpWriteTest : public TcpLinkTest {
 protected:
  void SetUp() override {
    Printer(0x12, 0x12);
    ASSERT_EQ(Open(), 0);
    base = sockets.sent().size();
    start = clock.NowMs();
  }
  Bytes Sent() {
    const Bytes all = sockets.sent();
    return Bytes(all.begin() + static_cast<long>(base), all.end());
  }
  int Write(const Bytes& b) { return link.Write(b.data(), static_cast<int>(b.size())); }
  size_t base = 0;
};

TEST_F(TcpWriteTest, PartialSendsAreContinuedUntilEverythingIsTaken) {
  const Bytes job = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  sockets.ScriptSends({3, platform::kSocketWouldBlock, 2, 0});
  EXPECT_EQ(Write(job), 1);
  EXPECT_EQ(Sent(), job);
}

TEST_F(TcpWriteTest, PrinterStalledLongerThanTheSendTimeoutFailsTheWrite) {
  sockets.ScriptSends({4, platform::kSocketWouldBlock});
  sockets.ScriptSendWaits({0});
  EXPECT_EQ(Write(Bytes(10, 0x41)), -1);
  EXPECT_EQ(Elapsed(), 2000u);
  EXPECT_EQ(Sent().size(), 4u);
}

TEST_F(TcpWriteTest, ClosedPeerFailsWritesWithoutCrashing) {
  sockets.ClosePeer();
  EXPECT_EQ(Write({0x1B, 0x40}), -1);
  EXPECT_EQ(link.Read(std::array<uint8_t, 8>{}.data(), 8), 0);
}

TEST_F(TcpWriteTest, DisableStatusSendsGsA0AndDrainsTheAnswer) {
  sockets.Answer({0x1D, 0x61, 0x00}, {0x10, 0, 0, 0x0F}, 250);
  EXPECT_EQ(link.DisableStatus(), 1);
  EXPECT_EQ(Sent(), (Bytes{0x1D, 0x61, 0x00}));
  EXPECT_EQ(Elapsed(), 300u + 100u);  // answer seen at the third poll
  EXPECT_EQ(sockets.pendingBytes(), 0u);
}

TEST_F(TcpWriteTest, CloseReleasesTheSocketAndLaterWritesFail) {
  EXPECT_EQ(link.Close(), 0);
  EXPECT_FALSE(link.connected());
  EXPECT_EQ(sockets.heldSockets(), 0);
  EXPECT_EQ(Write({0x1B, 0x40}), -1);
  EXPECT_EQ(link.Close(), 0);
}

TEST(TcpLinkThread, ReaderRunsUntilCloseAndReportsStatus) {
  fakes::FakeClock clock;
  fakes::FakeSockets sockets(clock);
  fakes::FakeSystem system;
  sockets.Answer(kEot2, {0x12});
  sockets.Answer(kEot4, {0x12});
  links::TcpLink link(clock, sockets, system);
  ASSERT_EQ(link.Open("127.0.0.1", 9100), 0);
  sockets.Deliver({0x3C, 0x00, 0x00, 0x0F});
  for (int i = 0; i < 2000 && link.state().coverOpen == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(link.state().coverOpen, 1);
  EXPECT_EQ(link.Close(), 0);
  EXPECT_EQ(sockets.heldSockets(), 0);
}

// A job that comes while the reader is connecting again (the printer closed
// an idle connection a moment ago) waits for that connection instead of
// failing: it goes out once the reconnect is done.
TEST(TcpLinkThreads, AWriteDuringTheReconnectWaitsForItAndGoesOut) {
  fakes::FakeClock socketClock;
  fakes::FakeSockets sockets(socketClock);
  fakes::FakeSystem system;
  sockets.Answer(kEot2, {0x12});
  sockets.Answer(kEot4, {0x12});
  std::promise<void> connecting;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  bool first = true;
  sockets.onConnectWait = [&] {
    if (first) {  // the open's own connect
      first = false;
      return;
    }
    connecting.set_value();
    released.wait();
  };
  links::TcpLink link(*platform::Native().clock, sockets, system);
  ASSERT_EQ(link.Open("127.0.0.1", 9100), 0);

  sockets.DropConnections();
  ASSERT_EQ(connecting.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready)
      << "the reader never tried to connect again";
  const Bytes job = {0x41, 0x42, 0x43, 0x0A};
  auto write = std::async(std::launch::async,
                          [&] { return link.Write(job.data(), static_cast<int>(job.size())); });
  const bool waited = write.wait_for(std::chrono::milliseconds(300)) == std::future_status::timeout;
  release.set_value();
  EXPECT_TRUE(waited) << "the write did not wait for the reconnect";
  EXPECT_EQ(write.get(), 1);
  const Bytes sent = sockets.sent();
  EXPECT_TRUE(std::search(sent.begin(), sent.end(), job.begin(), job.end()) != sent.end());
  link.Close();
}

}  // namespace

namespace {

// An open while the reader of an earlier open still runs (the link was not
// closed in between) must not clear that reader's stop request and then wait
// for it for ever: the reader is told to stop, and the open goes on once it
// has ended.
TEST(TcpLinkThreads, AnOpenAfterAnOpenWithoutACloseNeitherHangsNorKeepsTwoReaders) {
  fakes::FakeClock clock;
  fakes::FakeSockets sockets{clock};
  fakes::FakeSystem system;
  sockets.Answer(kEot2, {0x12});
  sockets.Answer(kEot4, {0x12});
  links::TcpLink link{clock, sockets, system};
  ASSERT_EQ(link.Open("192.168.0.50", 9100), 0);
  EXPECT_EQ(link.Open("192.168.0.50", 9100), -1);  // releases the socket left held
  auto reopen = std::async(std::launch::async, [&] { return link.Open("192.168.0.50", 9100); });
  const bool returned = reopen.wait_for(std::chrono::seconds(4)) == std::future_status::ready;
  if (!returned) link.state().stopReader = 1;  // let the hung open end
  ASSERT_TRUE(returned) << "the open waited for the earlier open's reader";
  EXPECT_EQ(reopen.get(), 0);
  link.Close();
  EXPECT_EQ(sockets.heldSockets(), 0);
}

}  // namespace
