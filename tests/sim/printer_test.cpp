// Printer model tests: status bytes per state, ASB blocks per profile, data
// order and holding of answers, print rate, silent mode and power cycling.
#include "tools/printer-sim/printer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/printer-sim/reply_queue.h"

namespace printersim {
namespace {

using std::chrono::milliseconds;

const Bytes kAsbOn = {0x1D, 0x61, 0xFF};
const Bytes kProcessId = {0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 0x31, 0x32, 0x33, 0x34};
const Bytes kProcessIdReply = {0x37, 0x22, 0x31, 0x32, 0x33, 0x34, 0x00};

Bytes Eot(uint8_t n) { return {0x10, 0x04, n}; }

// A printer with an event log and helpers to talk to it.
class Harness {
 public:
  explicit Harness(PrinterOptions options = {})
      : printer(options, [this](const std::string& line) { events.push_back(line); }) {}

  std::vector<Bytes> Send(const Bytes& data, Clock::time_point now = Clock::now()) {
    printer.Receive(data.data(), data.size(), now);
    return printer.TakeReplies();
  }
  std::vector<Bytes> Take() { return printer.TakeReplies(); }

  std::vector<std::string> events;
  Printer printer;
};

enum class Fault { kNormal, kCoverOpen, kNearEnd, kPaperOut, kCoverOpenPaperOut };

void Apply(Printer& p, Fault setup) {
  if (setup == Fault::kCoverOpen || setup == Fault::kCoverOpenPaperOut) p.SetCoverOpen(true);
  if (setup == Fault::kNearEnd) p.SetPaper(PaperState::kNearEnd);
  if (setup == Fault::kPaperOut || setup == Fault::kCoverOpenPaperOut) {
    p.SetPaper(PaperState::kOut);
  }
}

TEST(PrinterTest, DleEotAnswersEachStateWithTheStandardBits) {
  struct Case {
    Fault setup;
    uint8_t n1, n2, n3, n4;
  };
  const Case cases[] = {
      {Fault::kNormal, 0x16, 0x12, 0x12, 0x12},
      {Fault::kCoverOpen, 0x1E, 0x16, 0x12, 0x12},
      {Fault::kNearEnd, 0x16, 0x12, 0x12, 0x1E},
      {Fault::kPaperOut, 0x1E, 0x32, 0x12, 0x7E},
      {Fault::kCoverOpenPaperOut, 0x1E, 0x36, 0x12, 0x7E},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.setup));
    Harness h;
    Apply(h.printer, c.setup);
    EXPECT_EQ(h.Send(Eot(1)), std::vector<Bytes>{{c.n1}});
    EXPECT_EQ(h.Send(Eot(2)), std::vector<Bytes>{{c.n2}});
    EXPECT_EQ(h.Send(Eot(3)), std::vector<Bytes>{{c.n3}});
    EXPECT_EQ(h.Send(Eot(4)), std::vector<Bytes>{{c.n4}});
    EXPECT_TRUE(h.Send(Eot(5)).empty());
  }
}

// ASB: one block on enabling, then one per status change, per profile. The
// default profile's blocks are the ones the relay's network link decodes.
TEST(PrinterTest, AsbBlocksPerProfileOnEnableAndOnEveryChange) {
  struct Step {
    const char* action;
    Bytes block;
  };
  struct Case {
    const char* profile;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"default",
       {{"enable", {0x10, 0x00, 0x00, 0x0F}},
        {"near-end", {0x10, 0x00, 0x03, 0x0F}},
        {"out", {0x10, 0x00, 0x0F, 0x00}},
        {"cover-open", {0x3C, 0x00, 0x0F, 0x0F}},
        {"ok", {0x3C, 0x00, 0x00, 0x0F}},
        {"cover-close", {0x10, 0x00, 0x00, 0x0F}}}},
      {"offline",
       {{"enable", {0x10, 0x00, 0x00, 0x0F}},
        {"near-end", {0x10, 0x00, 0x03, 0x0F}},
        {"out", {0x18, 0x00, 0x0F, 0x00}},
        {"ok", {0x10, 0x00, 0x00, 0x0F}},
        {"cover-open", {0x38, 0x00, 0x00, 0x0F}},
        {"cover-close", {0x10, 0x00, 0x00, 0x0F}}}},
      {"zero",
       {{"enable", {0x10, 0x00, 0x00, 0x00}},
        {"near-end", {0x10, 0x00, 0x03, 0x00}},
        {"cover-open", {0x38, 0x00, 0x03, 0x00}},
        {"cover-close", {0x10, 0x00, 0x03, 0x00}},
        {"out", {0x18, 0x00, 0x0F, 0x00}},
        {"ok", {0x10, 0x00, 0x00, 0x00}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    PrinterOptions options;
    options.profile = FindProfile(c.profile);
    ASSERT_NE(options.profile, nullptr);
    Harness h(options);
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.action);
      const std::string a = step.action;
      std::vector<Bytes> got;
      if (a == "enable") got = h.Send(kAsbOn);
      if (a == "near-end") h.printer.SetPaper(PaperState::kNearEnd);
      if (a == "out") h.printer.SetPaper(PaperState::kOut);
      if (a == "ok") h.printer.SetPaper(PaperState::kOk);
      if (a == "cover-open") h.printer.SetCoverOpen(true);
      if (a == "cover-close") h.printer.SetCoverOpen(false);
      if (a != "enable") got = h.Take();
      EXPECT_EQ(got, std::vector<Bytes>{step.block});
    }
  }
}

TEST(PrinterTest, AsbIsQuietWhenDisabledOrNothingChanged) {
  Harness h;
  h.Send(kAsbOn);
  h.printer.SetPaper(PaperState::kOk);  // Already ok.
  EXPECT_TRUE(h.Take().empty());
  EXPECT_TRUE(h.Send({0x1D, 0x61, 0x00}).empty());
  h.printer.SetCoverOpen(true);
  EXPECT_TRUE(h.Take().empty());
}

TEST(PrinterTest, InitializeDisablesAsbUnlessConfiguredToKeepIt) {
  for (const bool clears : {true, false}) {
    PrinterOptions options;
    options.init_clears_asb = clears;
    Harness h(options);
    h.Send(kAsbOn);
    h.Send({0x1B, 0x40});
    h.printer.SetCoverOpen(true);
    EXPECT_EQ(h.Take().size(), clears ? 0u : 1u) << "init_clears_asb=" << clears;
  }
}

// Cover open: printing stops; the process-ID answer waits, real-time status
// does not; closing the cover sends the ASB change first, then the answer.
TEST(PrinterTest, ProcessIdIsHeldWhileOfflineAndReleasedInOrder) {
  for (const Fault fault : {Fault::kCoverOpen, Fault::kPaperOut}) {
    SCOPED_TRACE(static_cast<int>(fault));
    Harness h;
    h.Send(kAsbOn);
    Apply(h.printer, fault);
    h.Take();
    EXPECT_TRUE(h.Send(Bytes{'j', 'o', 'b', '\n'}).empty());
    EXPECT_TRUE(h.Send(kProcessId).empty());
    EXPECT_EQ(h.printer.held_commands(), 1u);
    EXPECT_EQ(h.Send(Eot(1)), std::vector<Bytes>{{0x1E}});
    if (fault == Fault::kCoverOpen) h.printer.SetCoverOpen(false);
    if (fault == Fault::kPaperOut) h.printer.SetPaper(PaperState::kNearEnd);
    const std::vector<Bytes> released = h.Take();
    ASSERT_EQ(released.size(), 2u);
    EXPECT_EQ(released[0].size(), 4u);  // The ASB block of the change.
    EXPECT_EQ(released[1], kProcessIdReply);
    EXPECT_EQ(h.printer.pending_bytes(), 0u);
  }
}

TEST(PrinterTest, DataOrderAnswersFollowThePrintRate) {
  PrinterOptions options;
  options.print_rate = 1000;  // 1 byte per ms.
  Harness h(options);
  const auto t0 = Clock::now();
  Bytes job = kProcessId;
  job.insert(job.begin(), 500, 'x');
  EXPECT_TRUE(h.Send(job, t0).empty());
  EXPECT_EQ(h.Send(Eot(1), t0 + milliseconds(100)), std::vector<Bytes>{{0x16}});
  ASSERT_TRUE(h.printer.NextWake().has_value());
  EXPECT_GT(*h.printer.NextWake(), t0 + milliseconds(400));
  h.printer.Advance(t0 + milliseconds(400));
  EXPECT_TRUE(h.Take().empty());
  // The pause while the cover is open does not count as printing time.
  h.printer.SetCoverOpen(true, t0 + milliseconds(400));
  h.printer.Advance(t0 + milliseconds(5000));
  h.printer.SetCoverOpen(false, t0 + milliseconds(5000));
  h.printer.Advance(t0 + milliseconds(5050));
  EXPECT_TRUE(h.Take().empty());
  h.printer.Advance(t0 + milliseconds(5200));
  EXPECT_EQ(h.Take(), std::vector<Bytes>{kProcessIdReply});
}

TEST(PrinterTest, StatusAndIdentityRequestsAnswerLikeAnEpsonPrinter) {
  struct Case {
    Bytes request;
    Bytes answer;
  };
  const Case cases[] = {
      {{0x1D, 0x72, 0x01}, {0x03}},  // Paper sensor, near end.
      {{0x1D, 0x72, 0x32}, {0x00}},  // Drawer.
      {{0x1B, 0x76}, {0x03}},
      {{0x1B, 0x75, 0x00}, {0x00}},
      {{0x1D, 0x49, 0x01}, {0x20}},
      {{0x1D, 0x49, 0x32}, {0x02}},
      {{0x1D, 0x49, 0x42}, {'_', 'E', 'P', 'S', 'O', 'N', 0x00}},
      {{0x1D, 0x49, 0x43}, {'_', 'T', 'M', '-', 'T', '8', '8', 'V', 0x00}},
      {{0x10, 0x05, 0x02}, {}},
  };
  Harness h;
  h.printer.SetPaper(PaperState::kNearEnd);
  for (const Case& c : cases) {
    const std::vector<Bytes> got = h.Send(c.request);
    if (c.answer.empty()) {
      EXPECT_TRUE(got.empty());
    } else {
      EXPECT_EQ(got, std::vector<Bytes>{c.answer});
    }
  }
}

TEST(PrinterTest, ClearBufferDropsHeldWorkAndConfirms) {
  Harness h;
  h.printer.SetCoverOpen(true);
  h.Send(kProcessId);
  EXPECT_EQ(h.Send({0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08}),
            (std::vector<Bytes>{{0x37, 0x25, 0x00}}));
  h.printer.SetCoverOpen(false);
  EXPECT_TRUE(h.Take().empty());
}

TEST(PrinterTest, SilentStillParsesButDropsEveryAnswer) {
  Harness h;
  h.printer.SetSilent(true);
  EXPECT_TRUE(h.Send(Eot(1)).empty());
  h.printer.Keepalive();
  EXPECT_TRUE(h.Take().empty());
  EXPECT_NE(std::find(h.events.begin(), h.events.end(), "cmd DLE_EOT 1"), h.events.end());
  EXPECT_NE(std::find(h.events.begin(), h.events.end(), "drop 1 16 silent"), h.events.end());
  h.printer.SetSilent(false);
  h.printer.Keepalive();
  const std::string text = "_GET_TIME";
  EXPECT_EQ(h.Take(), std::vector<Bytes>{Bytes(text.begin(), text.end())});
}

TEST(PrinterTest, PowerCycleLosesQueuedDataAsbAndPartialCommands) {
  Harness h;
  h.Send(kAsbOn);
  h.printer.SetCoverOpen(true);
  h.Send(kProcessId);
  h.Send({0x1D, 0x76, 0x30, 0x00, 0x10});  // Partial raster header.
  h.printer.SetPower(false);
  EXPECT_TRUE(h.Send(Eot(1)).empty());
  h.printer.SetPower(true);
  h.printer.SetCoverOpen(false);
  EXPECT_TRUE(h.Take().empty());  // No ASB, no held answer.
  EXPECT_EQ(h.Send(Eot(1)), std::vector<Bytes>{{0x16}});
  EXPECT_EQ(h.events.back(), "cmd DLE_EOT 1");
}

TEST(ReplyQueueTest, SplitSendsTwoPiecesAGapApart) {
  ReplyQueue q;
  const auto t0 = Clock::now();
  q.Push(kProcessIdReply, true, t0);
  q.Push({0x16}, true, t0);
  Bytes piece;
  ASSERT_TRUE(q.PopDue(t0, &piece));
  EXPECT_EQ(piece, Bytes(kProcessIdReply.begin(), kProcessIdReply.begin() + 3));
  EXPECT_FALSE(q.PopDue(t0 + milliseconds(99), &piece));
  ASSERT_TRUE(q.PopDue(t0 + ReplyQueue::kSplitGap, &piece));
  EXPECT_EQ(piece, Bytes(kProcessIdReply.begin() + 3, kProcessIdReply.end()));
  ASSERT_TRUE(q.PopDue(t0 + ReplyQueue::kSplitGap, &piece));  // Not before the earlier answer.
  EXPECT_EQ(piece, Bytes{0x16});
  EXPECT_TRUE(q.empty());
}

}  // namespace
}  // namespace printersim
