// LptLink on a fake parallel printer and a fake clock: the open, the write's
// time budget and retries, the silence rule, the online count rule and the
// parallel status table.
#include "links/lpt_link.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_printer_port.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/unit/link_flags.h"

namespace {

using fakes::Bytes;
using linktest::Flags;
using linktest::SetFlags;

const Bytes kStatusEnable = {0x1D, 0x61, 0xFF};

class LptLinkTest : public ::testing::Test {
 protected:
  void OpenQuiet() {
    ASSERT_EQ(link.Open("LPT1", 0), 0);
    link.state().statusRequest = 0;
  }
  int Enables() { return printer->CountWrites(kStatusEnable); }

  fakes::FakeClock clock;
  fakes::FakeSerialPorts ports{clock};
  std::shared_ptr<fakes::FakePrinterPort> printer = ports.Add("LPT1");
  links::LptLink link{clock, ports, links::ReaderMode::kManual};
};

TEST_F(LptLinkTest, OpenUsesTheNameAsItIsAndSetsNoLine) {
  const uint32_t start = clock.NowMs();
  ASSERT_EQ(link.Open("LPT1", 0), 0);
  EXPECT_EQ(clock.NowMs() - start, 16 * 200u + 250u);  // no status block: the bounded wait
  ASSERT_EQ(ports.opens().size(), 1u);
  EXPECT_EQ(ports.opens()[0].path, "LPT1");
  EXPECT_TRUE(ports.opens()[0].overlapped);
  EXPECT_EQ(printer->events(),
            (std::vector<std::string>{"queues 8192/8192", "purge F", "timeouts"}));
  const platform::CommTimeouts t = printer->timeouts();
  EXPECT_EQ(t.readInterval, 50u);
  EXPECT_EQ(t.readTotalConstant, 100u);
  EXPECT_EQ(t.writeTotalMultiplier, 1u);
  EXPECT_EQ(t.writeTotalConstant, 1000u);
  EXPECT_EQ(link.state().statusRequest, 1);
  // A port still held fails the next open; close releases it.
  EXPECT_EQ(link.Open("LPT1", 0), 1);
  link.Close();
  EXPECT_EQ(ports.held(), 0);
  EXPECT_EQ(link.Open("LPT2", 0), 1);
}

TEST_F(LptLinkTest, WriteBudget) {
  using Step = fakes::FakePrinterPort::WriteStep;
  const struct {
    const char* name;
    int length;
    std::vector<Step> script;
    int result;
    std::vector<size_t> attempts;
    uint32_t attemptLimit;
  } cases[] = {
      {"small buffer at once", 100, {}, 100, {100}, 500},
      {"large buffer: 4 ms a byte more", 600, {}, 600, {600}, 500 + 4 * 600},
      {"refused, then taken", 100, {{0, false, 0}}, 100, {0, 100}, 500},
      {"part taken, rest on the next attempt", 100, {{40, true, 0}}, 100, {40, 60}, 500},
      {"attempt ran out after 30 bytes: no time left", 100, {{30, false, 500}}, 30, {30}, 500},
      {"attempts until 500 ms have passed", 100, std::vector<Step>(60, Step{0, false, 0}), 0,
       std::vector<size_t>(50, 0), 500},
  };
  for (const auto& c : cases) {
    fakes::FakeSerialPorts p(clock);
    auto device = p.Add("LPT1");
    links::LptLink l(clock, p, links::ReaderMode::kManual);
    ASSERT_EQ(l.Open("LPT1", 0), 0);
    device->ScriptWrites(c.script);
    const Bytes job(static_cast<size_t>(c.length), 0x41);
    EXPECT_EQ(l.Write(job.data(), c.length), c.result) << c.name;
    std::vector<size_t> sizes;
    for (const Bytes& call : device->writeCalls()) sizes.push_back(call.size());
    EXPECT_EQ(sizes, c.attempts) << c.name;
    for (uint32_t wait : device->writeWaits()) EXPECT_EQ(wait, c.attemptLimit) << c.name;
  }
}

TEST_F(LptLinkTest, TwoSlowReadsInARowAskForStatus) {
  OpenQuiet();
  printer->HideQueue(true);  // a parallel port reads whatever is queued
  const struct {
    uint32_t readMs;
    int request;
  } turns[] = {{60, 0}, {60, 1}, {60, 0}, {10, 0}, {60, 0}, {50, 1}};
  for (const auto& t : turns) {
    link.state().statusRequest = 0;
    printer->SetReadMs(t.readMs);
    link.ReaderTurn();
    EXPECT_EQ(link.state().statusRequest, t.request) << t.readMs;
  }
}

TEST_F(LptLinkTest, StatusTable) {
  const linktest::TableRow rows[] = {
      {"plain b2=3, online", {0x10, 0, 3, 0x0F}, "1011", "0100"},
      {"plain b2=3, cover code", {0x38, 0, 3, 0x0F}, "0100", "1001"},
      {"plain b2=3, cover bit only", {0x34, 0, 3, 0x0F}, "1011", "0100"},
      {"plain b2=0, online", {0x14, 0, 0, 0}, "1111", "0000"},
      {"plain b2=0, cover code 0x3C", {0x3C, 0, 0, 0x0F}, "0110", "1001"},
      {"plain b2=0, 0x34 is no cover code", {0x34, 0, 0, 0x0F}, "0000", "0000"},
      {"plain b2=0, other", {0x18, 0, 0, 0x0F}, "0110", "0110"},
      {"error, cover code", {0x38, 0, 0x0F, 0}, "0010", "1001"},
      {"error, paper out 0x18", {0x18, 0, 0x0F, 0}, "1100", "0011"},
      {"error, paper out 0x1C", {0x1C, 0, 0x0F, 0}, "0000", "0011"},
      {"error, b2=0x0C is no paper out here", {0x18, 0, 0x0C, 0}, "0000", "0000"},
      {"error, paper end on-line is no paper out here", {0x10, 0, 0x0F, 0}, "0100", "0100"},
      {"error, b2=3 online", {0x14, 0, 3, 0}, "1011", "0100"},
      {"error, other", {0x10, 1, 0, 0}, "1110", "1110"},
  };
  OpenQuiet();
  for (const linktest::TableRow& r : rows) {
    SetFlags(link.state(), r.before);
    printer->Deliver(r.block);
    link.ReaderTurn();
    EXPECT_EQ(Flags(link.state()), r.after) << r.row;
  }
}

TEST_F(LptLinkTest, EqualOnlineCountsSendOneExtraStatusEnable) {
  const struct {
    const char* name;
    Bytes read;
    int extra;
  } cases[] = {
      {"10 then 14", {0x10, 0, 0, 0x0F, 0x14, 0, 0, 0x0F}, 1},
      {"one 10", {0x10, 0, 0, 0x0F}, 0},
      {"10 then 10", {0x10, 0, 0, 0x0F, 0x10, 0, 0, 0x0F}, 0},
      {"near end after 14", {0x14, 0, 0, 0x0F, 0x10, 0, 3, 0x0F}, 1},
  };
  OpenQuiet();
  for (const auto& c : cases) {
    SetFlags(link.state(), "1110");
    const int before = Enables();
    printer->Deliver(c.read);
    link.ReaderTurn();
    EXPECT_EQ(Enables() - before, c.extra) << c.name;
  }
  EXPECT_EQ(Flags(link.state()), "0100");
  printer->Deliver({0x10, 0, 0, 0x0F, 0x14, 0, 0, 0x0F});
  link.ReaderTurn();
  EXPECT_EQ(Flags(link.state()), "0000");
}

TEST_F(LptLinkTest, ShortRepliesAreForwardedButConfirmNothing) {
  OpenQuiet();
  auto app = std::make_shared<fakes::FakeSerialPort>();
  link.SetReplyPort(app);
  printer->Deliver({0x01, 0x02, 0x0D});
  link.ReaderTurn();
  EXPECT_EQ(link.state().printDone, 0);
  EXPECT_EQ(app->writes(), (std::vector<Bytes>{{0x01, 0x02, 0x0D}}));
  printer->Deliver({0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00});
  link.ReaderTurn();
  EXPECT_EQ(link.state().printDone, 1);
}

}  // namespace
