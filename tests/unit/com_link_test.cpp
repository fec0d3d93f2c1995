// ComLink on a fake serial printer and a fake clock: the port set-up per
// rate, failed opens, the bounded wait for the first status block, chunked
// writes and their purge, the reader's status request, CTS rule, short
// replies and status table, and whole writes that never interleave.
#include "links/com_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "links/link_front.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_printer_port.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/unit/link_flags.h"

namespace {

using fakes::Bytes;
using linktest::Flags;
using linktest::SetFlags;

const Bytes kStatusEnable = {0x1D, 0x61, 0xFF};
const Bytes kNormal = {0x10, 0x00, 0x00, 0x0F};
const std::string kPath = "\\\\.\\COM3";

Bytes Job(int length) {
  Bytes job(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) job[static_cast<size_t>(i)] = static_cast<uint8_t>('A' + i % 26);
  return job;
}

std::vector<size_t> Sizes(const std::vector<Bytes>& calls, size_t from = 0) {
  std::vector<size_t> sizes;
  for (size_t i = from; i < calls.size(); ++i) sizes.push_back(calls[i].size());
  return sizes;
}

class ComLinkTest : public ::testing::Test {
 protected:
  int Open(int index = 6) { return link.Open("COM3", index); }
  int Write(const Bytes& b) { return link.Write(b.data(), static_cast<int>(b.size())); }
  // Opens and forgets what the open did to the port.
  void OpenQuiet() {
    ASSERT_EQ(Open(), 0);
    base = printer->writeCalls().size();
    events = printer->events().size();
  }
  std::vector<std::string> NewEvents() {
    const auto all = printer->events();
    return std::vector<std::string>(all.begin() + static_cast<long>(events), all.end());
  }

  fakes::FakeClock clock;
  fakes::FakeSerialPorts ports{clock};
  std::shared_ptr<fakes::FakePrinterPort> printer = ports.Add(kPath);
  links::ComLink link{clock, ports, links::ReaderMode::kManual};
  size_t base = 0;
  size_t events = 0;
};

TEST_F(ComLinkTest, OpenSetsThePortUpAtEveryRate) {
  const struct {
    int index;
    uint32_t baud, writeMultiplier;
  } rates[] = {{3, 1200, 16}, {4, 2400, 8},  {5, 4800, 4},  {6, 9600, 2},
               {7, 19200, 1}, {8, 38400, 0}, {9, 57600, 0}, {10, 115200, 0}};
  for (const auto& r : rates) {
    fakes::FakeSerialPorts p(clock);
    auto device = p.Add(kPath);
    links::ComLink l(clock, p, links::ReaderMode::kManual);
    ASSERT_EQ(l.Open("COM3", r.index), 0) << r.baud;
    EXPECT_EQ(p.opens().front().path, kPath);
    EXPECT_TRUE(p.opens().front().overlapped);
    EXPECT_EQ(device->events(),
              (std::vector<std::string>{"queues 8192/8192", "purge F", "timeouts", "line"}));
    const platform::CommTimeouts t = device->timeouts();
    EXPECT_EQ(t.readInterval, 50u);
    EXPECT_EQ(t.readTotalMultiplier, 0u);
    EXPECT_EQ(t.readTotalConstant, 100u);
    EXPECT_EQ(t.writeTotalMultiplier, r.writeMultiplier) << r.baud;
    EXPECT_EQ(t.writeTotalConstant, 0u);
    const platform::LineSettings s = device->line();
    EXPECT_EQ(s.baudRate, r.baud);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_TRUE(s.binary && s.dtrEnable && s.rtsEnable && s.txContinueOnXoff);
    EXPECT_FALSE(s.parityCheck || s.ctsFlow || s.dsrFlow || s.dsrSensitivity || s.xonXoffOut ||
                 s.xonXoffIn || s.errorChar || s.nullStrip || s.abortOnError);
    // The reader is to enable Automatic Status Back first thing.
    EXPECT_EQ(l.state().statusRequest, 1);
    EXPECT_EQ(l.state().open, 1);
  }
}

// No reader runs here, so no status block ever comes: the open gives up
// waiting after 16 x 200 ms, settles 250 ms and succeeds.
TEST_F(ComLinkTest, WaitForTheFirstStatusBlockIsBounded) {
  const uint32_t start = clock.NowMs();
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(clock.NowMs() - start, 16 * 200u + 250u);
}

TEST_F(ComLinkTest, FailedOpensHoldNothing) {
  // Missing port.
  EXPECT_EQ(link.Open("COM9", 6), 1);
  EXPECT_EQ(link.state().open, 0);
  EXPECT_FALSE(link.holdsPort());
  // In use by someone else.
  {
    auto other = ports.Open(kPath, false);
    EXPECT_EQ(Open(), 1);
    EXPECT_FALSE(link.holdsPort());
  }
  // Rates outside the table: the port was opened, close releases it.
  for (int index : {0, 2, 11}) {
    EXPECT_EQ(Open(index), 1) << index;
    link.Close();
    EXPECT_EQ(ports.held(), 0);
  }
  // Not a serial device: no line settings.
  printer->FailLineSettings(true);
  EXPECT_EQ(Open(), 1);
  link.Close();
  EXPECT_EQ(ports.held(), 0);
  EXPECT_EQ(printer->writeCalls().size(), 0u);
}

TEST_F(ComLinkTest, TheFrontTurnsAnUnsupportedRateIntoMinus1AndClosesThePort) {
  fakes::FakeSystem system;
  links::DeviceLinks devices;
  devices[links::kLinkCom] =
      std::make_unique<links::ComLink>(clock, ports, links::ReaderMode::kManual);
  links::LinkFront front(clock, system, nullptr, std::move(devices));
  EXPECT_EQ(front.OpenLink("COM3", 14400), -1);
  EXPECT_EQ(ports.held(), 0);
  EXPECT_EQ(front.OpenLink("COM3", 115200), 0);
  EXPECT_EQ(printer->line().baudRate, 115200u);
  EXPECT_EQ(front.CloseLink(), 0);
  EXPECT_EQ(ports.held(), 0);
}

TEST_F(ComLinkTest, WriteOutcomes) {
  using Step = fakes::FakePrinterPort::WriteStep;
  const struct {
    const char* name;
    int length;
    std::vector<Step> script;
    int result;
    std::vector<size_t> chunks;
    const char* after;  // the port's last event: the purge, or the last chunk
  } cases[] = {
      {"130 bytes", 130, {}, 1, {64, 64, 2}, "write 2"},
      {"exactly one chunk", 64, {}, 1, {64}, "write 64"},
      {"chunk ended early by the port's time-outs", 100, {{40, true, 30}}, 1, {40, 60}, "write 60"},
      {"chunk not done within 1000 ms",
       200,
       {{-1, true, 0}, {10, false, 1000}},
       0,
       {64, 10},
       "purge F"},
      {"chunk refused", 200, {{0, false, 0}}, 0, {0}, "purge F"},
      {"chunk done but nothing taken", 200, {{0, true, 0}}, 0, {0}, "purge F"},
  };
  for (const auto& c : cases) {
    fakes::FakeSerialPorts p(clock);
    auto device = p.Add(kPath);
    links::ComLink l(clock, p, links::ReaderMode::kManual);
    ASSERT_EQ(l.Open("COM3", 10), 0);
    const size_t before = device->writeCalls().size();
    device->ScriptWrites(c.script);
    const Bytes job = Job(c.length);
    EXPECT_EQ(l.Write(job.data(), c.length), c.result) << c.name;
    EXPECT_EQ(Sizes(device->writeCalls(), before), c.chunks) << c.name;
    for (uint32_t wait : device->writeWaits()) EXPECT_EQ(wait, 1000u) << c.name;
    EXPECT_EQ(device->events().back(), c.after) << c.name;
  }
}

TEST_F(ComLinkTest, OutputStillQueuedAfterAWriteIsPurged) {
  OpenQuiet();
  printer->SetQueuedOutput(12);
  EXPECT_EQ(Write(Job(10)), 1);
  EXPECT_EQ(NewEvents(), (std::vector<std::string>{"write 10", "purge 5"}));
}

TEST_F(ComLinkTest, RepliesNotYetReadSurviveASuccessfulWriteButNotAFailedOne) {
  OpenQuiet();
  const Bytes reply = {0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00};
  printer->Deliver(reply);
  EXPECT_EQ(Write(Job(10)), 1);
  EXPECT_EQ(printer->pendingInput(), reply.size());
  printer->ScriptWrites({{3, false, 1000}});
  EXPECT_EQ(Write(Job(10)), 0);
  EXPECT_EQ(printer->pendingInput(), 0u);
}

TEST_F(ComLinkTest, NothingIsWrittenWhenClosedAndAnEmptyWriteOnlyPurges) {
  EXPECT_EQ(Write(Job(5)), 0);
  OpenQuiet();
  EXPECT_EQ(link.Write(nullptr, 0), 0);
  EXPECT_EQ(NewEvents(), std::vector<std::string>{"purge F"});
  link.Close();
  EXPECT_EQ(Write(Job(5)), 0);
  EXPECT_EQ(printer->writeCalls().size(), base);
}

TEST_F(ComLinkTest, StatusEnableRepeatsEveryTurnUntilAStatusBlockArrives) {
  OpenQuiet();
  link.ReaderTurn();
  link.ReaderTurn();
  EXPECT_EQ(printer->CountWrites(kStatusEnable), 2);
  EXPECT_EQ(link.state().readerStarted, 0);
  printer->Deliver(kNormal);
  link.ReaderTurn();
  EXPECT_EQ(link.state().statusRequest, 0);
  EXPECT_EQ(link.state().readerStarted, 1);
  link.ReaderTurn();
  EXPECT_EQ(printer->CountWrites(kStatusEnable), 3);
}

TEST_F(ComLinkTest, StatusTable) {
  OpenQuiet();
  for (const linktest::TableRow& r : linktest::CoverBitRows()) {
    SetFlags(link.state(), r.before);
    printer->Deliver(r.block);
    link.ReaderTurn();
    EXPECT_EQ(Flags(link.state()), r.after) << r.row;
  }
}

TEST_F(ComLinkTest, NearEndFollowedByANormalBlockClearsNearEnd) {
  OpenQuiet();
  printer->Deliver({0x10, 0, 3, 0x0F});
  link.ReaderTurn();
  EXPECT_EQ(Flags(link.state()), "0100");
  printer->Deliver(kNormal);
  link.ReaderTurn();
  EXPECT_EQ(Flags(link.state()), "0000");
}

TEST_F(ComLinkTest, CtsRule) {
  const struct {
    const char* name;
    bool readable, cts;
    int offBefore, offAfter, requestAfter;
    uint32_t losses;  // a switch either way: what was sent meanwhile is gone
  } cases[] = {
      {"CTS off: printer off", true, false, 0, 1, 1, 1},
      {"still off", true, false, 1, 1, 1, 0},
      {"CTS on: printer back", true, true, 1, 0, 0, 1},
      {"still on", true, true, 0, 0, 0, 0},
      {"lines unknown, was on", false, false, 0, 0, 0, 0},
      {"lines unknown, was off", false, false, 1, 1, 0, 0},
  };
  OpenQuiet();
  for (const auto& c : cases) {
    link.state().printerOff = c.offBefore;
    link.state().statusRequest = 0;
    printer->FailModemStatus(!c.readable);
    printer->SetCts(c.cts);
    const uint32_t losses = link.connectionLosses();
    link.ReaderTurn();
    EXPECT_EQ(link.connectionLosses() - losses, c.losses) << c.name;
    EXPECT_EQ(link.state().printerOff, c.offAfter) << c.name;
    EXPECT_EQ(link.state().statusRequest, c.requestAfter) << c.name;
  }
}

TEST_F(ComLinkTest, PrinterSwitchedOffShowsAs8ThroughTheFront) {
  fakes::FakeSystem system;
  links::DeviceLinks devices;
  devices[links::kLinkCom] =
      std::make_unique<links::ComLink>(clock, ports, links::ReaderMode::kManual);
  links::LinkFront front(clock, system, nullptr, std::move(devices));
  ASSERT_EQ(front.OpenLink("COM3", 9600), 0);
  auto& com = static_cast<links::ComLink&>(*front.deviceLink(links::kLinkCom));
  printer->SetCts(false);
  com.ReaderTurn();
  EXPECT_EQ(front.GetStatus(), 8u);
  EXPECT_EQ(front.WaitPrintResult(3000), 8u);
  printer->SetCts(true);
  printer->Deliver(kNormal);
  com.ReaderTurn();
  EXPECT_EQ(front.GetStatus(), 0u);
}

TEST_F(ComLinkTest, ShortRepliesAndProcessIdReplies) {
  const struct {
    Bytes bytes;
    int done;
  } cases[] = {
      {{0x0D}, 1},
      {{0x41, 0x20}, 1},
      {{0x01, 0x02, 0x0D}, 1},
      {{0x0D, 0x41}, 0},
      {{0x41, 0x42, 0x43, 0x0D}, 0},  // four bytes are a status block, not a short reply
      {{0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00}, 1},
      {{0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00, 0x10, 0x00, 0x00, 0x0F}, 1},
  };
  OpenQuiet();
  auto app = std::make_shared<fakes::FakeSerialPort>();
  link.SetReplyPort(app);
  for (const auto& c : cases) {
    link.state().printDone = 0;
    printer->Deliver(c.bytes);
    link.ReaderTurn();
    EXPECT_EQ(link.state().printDone, c.done) << c.bytes.size();
    EXPECT_EQ(app->writes().back(), c.bytes);
  }
}

// A serial line or a printer that pauses mid-answer: the process-ID reply
// comes in two reads, and both pieces still reach the application.
TEST_F(ComLinkTest, AProcessIdReplyCutInTwoStillConfirms) {
  OpenQuiet();
  auto app = std::make_shared<fakes::FakeSerialPort>();
  link.SetReplyPort(app);
  link.state().printDone = 0;
  printer->Deliver({0x37, 0x22, 0x46});
  link.ReaderTurn();
  EXPECT_EQ(link.state().printDone, 0);
  link.ReaderTurn();  // nothing read in between
  printer->Deliver({0x46, 0x46, 0x46, 0x00});
  link.ReaderTurn();
  EXPECT_EQ(link.state().printDone, 1);
  const std::vector<Bytes> forwarded = app->writes();
  ASSERT_GE(forwarded.size(), 2u);
  EXPECT_EQ(forwarded[forwarded.size() - 2], (Bytes{0x37, 0x22, 0x46}));
  EXPECT_EQ(forwarded.back(), (Bytes{0x46, 0x46, 0x46, 0x00}));
}

// The worker writes jobs while the reader keeps sending GS a 255 (the
// printer never answers): every job's chunks reach the port one after
// another, with status commands only between jobs.
TEST(ComLinkThreads, WorkerWritesAndStatusCommandsNeverInterleave) {
  fakes::FakeClock clock;
  fakes::FakeSerialPorts ports(clock);
  auto printer = ports.Add(kPath);
  links::ComLink link(clock, ports);
  ASSERT_EQ(link.Open("COM3", 10), 0);
  const Bytes job = Job(200);
  // Until both writers have had plenty of turns (bounded in time).
  int written = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while ((written < 40 || printer->CountWrites(kStatusEnable) < 20) &&
         std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(link.Write(job.data(), static_cast<int>(job.size())), 1);
    ++written;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  link.Close();
  const std::vector<Bytes> calls = printer->writeCalls();
  int jobs = 0;
  int enables = 0;
  for (size_t i = 0; i < calls.size();) {
    if (calls[i] == kStatusEnable) {
      ++enables;
      ++i;
      continue;
    }
    ASSERT_LE(i + 4, calls.size());
    Bytes whole;
    for (size_t k = i; k < i + 4; ++k) whole.insert(whole.end(), calls[k].begin(), calls[k].end());
    ASSERT_EQ(whole, job) << "call " << i;
    ++jobs;
    i += 4;
  }
  EXPECT_EQ(jobs, written);
  EXPECT_GE(enables, 20);
}

}  // namespace
