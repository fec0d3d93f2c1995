// TcpLink's reader, one turn at a time: the status table, the status-enable
// request, gathering of replies in pieces, the process-ID reply and the
// keep-alive, and what reaches the application.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "links/tcp_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_sockets.h"

namespace {

using fakes::Bytes;

const Bytes kStatusBackOn = {0x1D, 0x61, 0xFF};

class TcpReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sockets.Answer({0x10, 0x04, 0x02}, {0x12});
    sockets.Answer({0x10, 0x04, 0x04}, {0x12});
    ASSERT_EQ(link.Open("192.168.0.50", 9100), 0);
    link.SetReplyPort(port);
    start = clock.NowMs();
  }
  // Flags as a string "C N E S": cover open, near end, paper end, status request.
  std::string Flags() {
    const links::LinkState& s = link.state();
    return std::to_string(s.coverOpen) + std::to_string(s.paperNearEnd) +
           std::to_string(s.paperEnd) + std::to_string(s.statusRequest);
  }
  int StatusEnables() {
    int n = 0;
    for (const Bytes& call : sockets.sendCalls()) n += call == kStatusBackOn;
    return n;
  }

  fakes::FakeClock clock;
  fakes::FakeSockets sockets{clock};
  fakes::FakeSystem system;
  links::TcpLink link{clock, sockets, system, links::ReaderMode::kManual};
  std::shared_ptr<fakes::FakeSerialPort> port = std::make_shared<fakes::FakeSerialPort>();
  uint32_t start = 0;
};

TEST_F(TcpReaderTest, StatusTable) {
  const struct {
    const char* row;
    Bytes block;
    const char* flags;  // after the turn, starting from "1110"
  } rows[] = {
      {"plain b2=0, cover code", {0x3C, 0, 0, 0x0F}, "1001"},
      {"plain b2=3, cover code", {0x34, 0, 3, 0x0F}, "1001"},
      {"plain b2=3, other", {0x10, 0, 3, 0x0F}, "0100"},
      {"plain b2=0, other", {0x14, 0, 0, 0}, "0000"},
      {"plain b2=0, 0x20 is no cover code", {0x20, 0, 0, 0x0F}, "0000"},
      {"error, cover code", {0x38, 0, 0x0F, 0}, "1001"},
      {"error b2=0x0F, online", {0x14, 0, 0x0F, 0}, "0011"},
      {"error b2=3, online", {0x14, 0, 3, 0}, "0100"},
      {"error b2=0x0F, off-line code", {0x18, 0, 0x0F, 0}, "1110"},
      {"error b2=0, online", {0x10, 1, 0, 0}, "1110"},
  };
  for (const auto& r : rows) {
    links::LinkState& s = link.state();
    s.coverOpen = 1;
    s.paperNearEnd = 1;
    s.paperEnd = 1;
    s.statusRequest = 0;
    sockets.Deliver(r.block);
    link.ReaderTurn();
    EXPECT_EQ(Flags(), r.flags) << r.row;
  }
}

TEST_F(TcpReaderTest, CoverOpenBlockAsksForStatusBackExactlyOnce) {
  sockets.Deliver({0x34, 0x00, 0x00, 0x0F});
  link.ReaderTurn();
  EXPECT_EQ(Flags(), "1001");
  EXPECT_EQ(StatusEnables(), 0);
  for (int i = 0; i < 3; ++i) link.ReaderTurn();
  EXPECT_EQ(StatusEnables(), 1);
  EXPECT_EQ(Flags(), "1000");
}

TEST_F(TcpReaderTest, ProcessIdReplySplitOverTwoReceivesIsRecognised) {
  sockets.Deliver({0x37, 0x22, 0x46});
  sockets.Deliver({0x46, 0x46, 0x46, 0x00}, 100);
  link.ReaderTurn();
  EXPECT_EQ(link.state().printDone, 1);
  EXPECT_EQ(clock.NowMs() - start, 50u + 200u + 200u);
  // The application gets every piece as it arrives, also the gathered one.
  EXPECT_EQ(port->writes(),
            (std::vector<Bytes>{Bytes({0x37, 0x22, 0x46}), Bytes({0x46, 0x46, 0x46, 0x00})}));
}

TEST_F(TcpReaderTest, ProcessIdReplyAloneOrInsideABlock) {
  const Bytes reply = {0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00};
  const Bytes status = {0x10, 0x00, 0x00, 0x0F};
  std::vector<Bytes> blocks = {reply, status};
  blocks[1].insert(blocks[1].end(), reply.begin(), reply.end());
  blocks[1].insert(blocks[1].end(), status.begin(), status.end());
  for (const Bytes& b : blocks) {
    link.state().printDone = 0;
    sockets.Deliver(b);
    link.ReaderTurn();
    EXPECT_EQ(link.state().printDone, 1) << b.size();
  }
}

TEST_F(TcpReaderTest, FloodFillsOneBlockAndLeavesTheRestQueued) {
  sockets.Deliver(Bytes(200, 0x41));
  sockets.Deliver(Bytes(400, 0x42), 200);
  link.ReaderTurn();
  EXPECT_EQ(sockets.pendingBytes(), 600u - 256u);
  EXPECT_EQ(clock.NowMs() - start, 50u + 200u);  // gathering ends with the buffer
  link.ReaderTurn();
  EXPECT_EQ(sockets.pendingBytes(), 600u - 512u);
}

TEST_F(TcpReaderTest, KeepAliveBeforeAStatusBlockIsSkipped) {
  const std::string keepAlive = "_GET_TIME";
  Bytes block(keepAlive.begin(), keepAlive.end());
  link.state().coverOpen = 1;
  sockets.Deliver(block);
  link.ReaderTurn();
  EXPECT_EQ(Flags(), "1000");  // nothing left to parse
  block.insert(block.end(), {0x14, 0x00, 0x0F, 0x00});
  sockets.Deliver(block);
  link.ReaderTurn();
  EXPECT_EQ(Flags(), "0011");
}

TEST_F(TcpReaderTest, AnAnswerArrivingWhileAReplyIsGatheredStillReachesTheApplication) {
  // A POS program asks DLE EOT 2 and at once DLE EOT 4: the second answer
  // arrives during the gathering of the first.
  sockets.Deliver({0x12});
  sockets.Deliver({0x12}, 150);
  link.ReaderTurn();
  EXPECT_EQ(port->writes(), (std::vector<Bytes>{Bytes{0x12}, Bytes{0x12}}));
}

TEST_F(TcpReaderTest, EveryTurnMarksTheReaderStarted) {
  link.ReaderTurn();
  EXPECT_EQ(link.state().readerStarted, 1);
  link.ReaderTurn();
  EXPECT_EQ(link.state().readerStarted, 1);
}

TEST_F(TcpReaderTest, AClosedConnectionReadsAsPowerOffUntilThePrinterIsBack) {
  link.state().paperNearEnd = 1;
  link.ReaderTurn();
  // Switched off: the connection closes and new ones are refused.
  sockets.ClosePeer();
  sockets.connectWritable = 0;
  link.ReaderTurn();
  EXPECT_TRUE(link.connectionLost());
  EXPECT_EQ(link.state().printerOff, 1);
  EXPECT_EQ(Flags(), "0100");  // the other flags keep their last values
  // Nothing is sent into the dead connection.
  const size_t sends = sockets.sendCalls().size();
  const uint8_t data[] = {0x1B, 0x40};
  EXPECT_EQ(link.Write(data, 2), -1);
  EXPECT_EQ(sockets.sendCalls().size(), sends);

  // Turns keep trying about once a second; while refused nothing changes.
  for (int i = 0; i < 30; ++i) link.ReaderTurn();
  EXPECT_EQ(link.state().printerOff, 1);
  const int opened = sockets.openCount();

  sockets.ReopenPeer();
  sockets.connectWritable = 1;
  clock.Advance(links::TcpLink::kReconnectPauseMs);
  link.ReaderTurn();
  EXPECT_FALSE(link.connectionLost());
  EXPECT_EQ(sockets.openCount(), opened + 1);
  EXPECT_EQ(link.state().printerOff, 0);
  EXPECT_EQ(link.state().statusRequest, 1);
  link.ReaderTurn();  // asks for a fresh status block
  EXPECT_EQ(StatusEnables(), 1);
  EXPECT_EQ(link.Write(data, 2), 1);
}

// Network printers drop idle connections on port 9100. The printer is still
// there: the link connects again in the same turn and never reports it off
// (with pop-ups on that read as "Printer power is off." then "no error").
TEST_F(TcpReaderTest, AnIdleConnectionThePrinterDroppedIsReconnectedAtOnce) {
  link.ReaderTurn();
  const int opened = sockets.openCount();
  sockets.DropConnections();
  link.ReaderTurn();
  EXPECT_FALSE(link.connectionLost());
  EXPECT_EQ(link.state().printerOff, 0);
  EXPECT_EQ(sockets.openCount(), opened + 1);
  const uint8_t data[] = {0x1B, 0x40};
  EXPECT_EQ(link.Write(data, 2), 1);
  link.ReaderTurn();
  EXPECT_EQ(StatusEnables(), 1);  // asks for a fresh status block
  EXPECT_EQ(link.state().printerOff, 0);
}

// Only a reconnect that fails means the printer is off, and that is known
// at once.
TEST_F(TcpReaderTest, ADroppedConnectionThatCannotBeMadeAgainIsPowerOffAtOnce) {
  link.ReaderTurn();
  sockets.DropConnections();
  sockets.connectWritable = 0;
  const uint32_t before = clock.NowMs();
  link.ReaderTurn();
  EXPECT_TRUE(link.connectionLost());
  EXPECT_EQ(link.state().printerOff, 1);
  EXPECT_LE(clock.NowMs() - before, 50u + links::TcpLink::kReconnectWaitMs);
}

}  // namespace
