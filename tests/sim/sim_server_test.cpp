// SimServer over TCP: real sockets on 127.0.0.1 with free ports, driven by
// operator commands the way other suites drive the simulator.
#include "tools/printer-sim/sim_server.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "tests/sim/sim_test_env.h"
#include "tests/sim/tcp_test_client.h"
#include "tools/printer-sim/event_log.h"

namespace printersim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const Bytes kStatus1 = {0x10, 0x04, 0x01};
const Bytes kProcessId = {0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 0x41, 0x42, 0x43, 0x44};
const Bytes kProcessIdReply = {0x37, 0x22, 0x41, 0x42, 0x43, 0x44, 0x00};

class SimServerTest : public ::testing::Test {
 protected:
  void StartServer(SimConfig config = {}) {
    if (config.pty.empty()) config.tcp = "127.0.0.1:0";
    server_ = std::make_unique<SimServer>(config, events_.Sink());
    std::string error;
    ASSERT_EQ(server_->Start(&error), 0) << error;
  }
  void Connect(TcpTestClient& client) {
    ASSERT_EQ(client.Connect(server_->port()), 0);
    ASSERT_TRUE(events_.Next("conn open", 2s)) << events_.Dump();
  }
  void WaitReceived(uint64_t total) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (server_->bytes_received() < total && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(server_->bytes_received(), total);
  }

  EventLog events_;  // Outlives the server that feeds it.
  std::unique_ptr<SimServer> server_;
};

TEST_F(SimServerTest, ListenLineNamesTheFreePortAndStatusIsAnswered) {
  StartServer();
  const auto listen = events_.Next("listen ", 1s);
  ASSERT_TRUE(listen);
  EXPECT_EQ(*listen, "listen tcp 127.0.0.1:" + std::to_string(server_->port()));
  EXPECT_NE(server_->port(), 0);
  TcpTestClient client;
  Connect(client);
  ASSERT_TRUE(client.Send(kStatus1));
  EXPECT_EQ(client.Read(1, 2s), Bytes{0x16});
  EXPECT_TRUE(events_.Next("rx 3 100401", 1s));
  EXPECT_TRUE(events_.Next("cmd DLE_EOT 1", 1s));
  EXPECT_TRUE(events_.Next("tx 1 16", 1s));
}

TEST_F(SimServerTest, SplitSendsAnswersInTwoPiecesAGapApart) {
  StartServer();
  ASSERT_EQ(server_->Control("split on"), 0);
  TcpTestClient client;
  Connect(client);
  ASSERT_TRUE(client.Send(kProcessId));
  EXPECT_EQ(client.Read(3, 2s), Bytes(kProcessIdReply.begin(), kProcessIdReply.begin() + 3));
  const auto first = std::chrono::steady_clock::now();
  EXPECT_TRUE(client.Read(4, 40ms).empty());
  EXPECT_EQ(client.Read(4, 2s), Bytes(kProcessIdReply.begin() + 3, kProcessIdReply.end()));
  EXPECT_GE(std::chrono::steady_clock::now() - first, 80ms);
  ASSERT_EQ(server_->Control("split off"), 0);
  ASSERT_TRUE(client.Send(kProcessId));
  EXPECT_EQ(client.Read(7, 2s), kProcessIdReply);
}

TEST_F(SimServerTest, KeepaliveSendsGetTime) {
  StartServer();
  TcpTestClient client;
  Connect(client);
  ASSERT_EQ(server_->Control("keepalive"), 0);
  const std::string text = "_GET_TIME";
  EXPECT_EQ(client.Read(9, 2s), Bytes(text.begin(), text.end()));
}

TEST_F(SimServerTest, PowerOffRefusesConnectionsAndPowerOnAcceptsAgain) {
  StartServer();
  const uint16_t port = server_->port();
  TcpTestClient first;
  Connect(first);
  ASSERT_EQ(server_->Control("power off"), 0);
  EXPECT_TRUE(first.WaitClosed(2s));
  TcpTestClient refused;
  EXPECT_EQ(refused.Connect(port), ECONNREFUSED);
  ASSERT_EQ(server_->Control("power on"), 0);
  TcpTestClient again;
  ASSERT_EQ(again.Connect(port), 0);
  ASSERT_TRUE(again.Send(kStatus1));
  EXPECT_EQ(again.Read(1, 2s), Bytes{0x16});
}

TEST_F(SimServerTest, SecondHostWaitsUntilTheFirstDisconnects) {
  StartServer();
  TcpTestClient first, second;
  Connect(first);
  ASSERT_EQ(second.Connect(server_->port()), 0);  // Lands in the backlog.
  ASSERT_TRUE(second.Send(kStatus1));
  EXPECT_TRUE(second.Read(1, 300ms).empty());
  first.Close();
  EXPECT_EQ(second.Read(1, 2s), Bytes{0x16});
}

TEST_F(SimServerTest, NewConnectionDoesNotInheritAPartialCommand) {
  StartServer();
  TcpTestClient first, second;
  Connect(first);
  ASSERT_TRUE(first.Send({0x1D, 0x76, 0x30, 0x00, 0x10, 0x00}));  // Raster header cut short.
  WaitReceived(6);
  first.Close();
  ASSERT_TRUE(events_.Next("conn close", 2s));
  Connect(second);
  ASSERT_TRUE(second.Send(kStatus1));
  EXPECT_EQ(second.Read(1, 2s), Bytes{0x16});
}

TEST_F(SimServerTest, RecordFileMatchesEveryByteAtAnyTime) {
  ScratchDir dir;
  SimConfig config;
  config.record_path = dir.File("record.bin");
  StartServer(config);
  std::mt19937 rng(11);
  Bytes sent;
  for (int connection = 0; connection < 2; ++connection) {
    TcpTestClient client;
    Connect(client);
    for (int chunk = 0; chunk < 40; ++chunk) {
      Bytes data(1 + rng() % 9000);
      for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
      ASSERT_TRUE(client.Send(data));
      sent.insert(sent.end(), data.begin(), data.end());
    }
    WaitReceived(sent.size());
    EXPECT_EQ(ReadWholeFile(config.record_path), sent) << "after connection " << connection;
  }
}

TEST_F(SimServerTest, SilentKeepsRecordingButSendsNothing) {
  ScratchDir dir;
  SimConfig config;
  config.record_path = dir.File("record.bin");
  config.initial.silent = true;
  StartServer(config);
  TcpTestClient client;
  Connect(client);
  ASSERT_TRUE(client.Send(kStatus1));
  EXPECT_TRUE(events_.Next("drop 1 16 silent", 2s));
  EXPECT_TRUE(client.Read(1, 200ms).empty());
  EXPECT_EQ(ReadWholeFile(config.record_path), kStatus1);
  ASSERT_EQ(server_->Control("silent off"), 0);
  ASSERT_TRUE(client.Send(kStatus1));
  EXPECT_EQ(client.Read(1, 2s), Bytes{0x16});
}

TEST_F(SimServerTest, PrintRateDelaysDataOrderAnswersButNotRealTimeStatus) {
  SimConfig config;
  config.print_rate = 20000;
  StartServer(config);
  TcpTestClient client;
  Connect(client);
  Bytes job(10000, 'x');  // Half a second of printing.
  job.insert(job.end(), kProcessId.begin(), kProcessId.end());
  job.insert(job.end(), kStatus1.begin(), kStatus1.end());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client.Send(job));
  EXPECT_EQ(client.Read(1, 2s), Bytes{0x16});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
  EXPECT_EQ(client.Read(7, 3s), kProcessIdReply);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
}

// A real printer stops reading while its receive buffer is full, so the
// host's writes stall instead of piling up in the printer without bound.
TEST_F(SimServerTest, FullReceiveBufferLeavesTheHostsBytesUnreadUntilPrinted) {
  SimConfig config;
  config.print_rate = 1000000;
  config.input_buffer = 4096;
  config.initial.status.cover_open = true;  // Nothing prints yet.
  StartServer(config);
  TcpTestClient client;
  Connect(client);
  const Bytes job(200000, 'x');
  std::thread writer([&] { client.Send(job); });
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(server_->bytes_received(), 4096u);
  EXPECT_EQ(server_->Control("cover close"), 0);
  WaitReceived(job.size());  // About 0.2 s of printing.
  writer.join();
}

// A network printer closes an idle connection: the host sees it closed, the
// printer keeps its state and serves the next connection.
TEST_F(SimServerTest, DropClosesTheHostsConnectionAndKeepsListening) {
  StartServer();
  TcpTestClient first;
  Connect(first);
  ASSERT_EQ(server_->Control("cover open"), 0);
  ASSERT_EQ(server_->Control("drop"), 0);
  EXPECT_TRUE(events_.Next("conn close", 2s));
  EXPECT_TRUE(first.WaitClosed(2s));
  TcpTestClient second;
  Connect(second);
  ASSERT_TRUE(second.Send({0x10, 0x04, 0x02}));
  EXPECT_EQ(second.Read(1, 2s), Bytes{0x16});  // 0x12 | cover open 0x04
}

TEST_F(SimServerTest, DropOnAPtyIsRefusedWithAnError) {
  ScratchDir dir;
  SimConfig config;
  config.pty = dir.File("com1");
  StartServer(config);
  ASSERT_EQ(server_->Control("drop"), 0);
  EXPECT_TRUE(events_.Next("error drop", 2s)) << events_.Dump();
}

// The printed record holds what came out of the printer: data held behind an
// open cover appears once it prints, and data lost with the power never does.
TEST_F(SimServerTest, PrintedRecordFollowsWhatThePrinterPrinted) {
  struct Step {
    std::string control;  // An operator command, or
    std::string send;     // bytes for the printer ("" with "reconnect": a new connection).
  };
  const Bytes clear = {0x10, 0x14, 8, 1, 3, 20, 1, 6, 2, 8};
  const std::string clearText(clear.begin(), clear.end());
  const struct {
    const char* name;
    std::vector<Step> steps;
    std::string printed;
    std::string received;
  } kCases[] = {
      {"healthy", {{"", "ABC"}, {"", "DEF"}}, "ABCDEF", "ABCDEF"},
      {"cover", {{"cover open", ""}, {"", "ABC"}, {"cover close", ""}}, "ABC", "ABC"},
      {"paper out then back",
       {{"", "A"}, {"paper out", ""}, {"", "BC"}, {"paper ok", ""}},
       "ABC",
       "ABC"},
      {"power lost behind the cover",
       {{"", "A"},
        {"cover open", ""},
        {"", "BC"},
        {"power off", ""},
        {"power on", ""},
        {"cover close", ""},
        {"reconnect", ""},
        {"", "DE"}},
       "ADE",
       "ABCDE"},
      {"buffer clear",
       {{"cover open", ""}, {"", "XY" + clearText}, {"cover close", ""}, {"", "Z"}},
       "Z",
       "XY" + clearText + "Z"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    SimConfig config;
    config.record_path = dir.File("rx.bin");
    config.printed_path = dir.File("printed.bin");
    StartServer(config);
    auto client = std::make_unique<TcpTestClient>();
    Connect(*client);
    for (const Step& step : c.steps) {
      if (step.control == "reconnect") {
        client = std::make_unique<TcpTestClient>();
        Connect(*client);
      } else if (!step.control.empty()) {
        ASSERT_EQ(server_->Control(step.control), 0);
      } else {
        ASSERT_TRUE(client->Send(Bytes(step.send.begin(), step.send.end())));
        ASSERT_TRUE(events_.Next("rx ", 2s)) << events_.Dump();
      }
    }
    ASSERT_EQ(server_->Control("keepalive"), 0);  // A round trip: all of the above applied.
    const std::vector<uint8_t> printed = ReadWholeFile(config.printed_path);
    const std::vector<uint8_t> received = ReadWholeFile(config.record_path);
    EXPECT_EQ(std::string(printed.begin(), printed.end()), c.printed);
    EXPECT_EQ(std::string(received.begin(), received.end()), c.received);
    server_.reset();
  }
}

TEST_F(SimServerTest, UnknownControlIsRejected) {
  StartServer();
  EXPECT_EQ(server_->Control("cover wide open"), -1);
  EXPECT_EQ(server_->Control("  cover   open "), 0);
  EXPECT_TRUE(events_.Next("state cover=open", 1s));
}

}  // namespace
}  // namespace printersim
