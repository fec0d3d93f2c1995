// The rules every device link's reader applies: process-ID reply tests,
// "_GET_TIME" removal, plain and error status blocks, and the forwarding of
// replies to the application with the copy kept for the log.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "links/escpos.h"
#include "links/reader_block.h"
#include "tests/fakes/fake_device_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_serial_port.h"

namespace {

using Bytes = std::vector<uint8_t>;

links::ReaderBlock Block(const Bytes& bytes) {
  links::ReaderBlock block;
  block.Assign(bytes.data(), static_cast<int>(bytes.size()));
  return block;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

const Bytes kReply(links::kProcessIdReply.begin(), links::kProcessIdReply.end());
const Bytes kStatus = {0x10, 0x00, 0x00, 0x0F};

struct DoneCase {
  const char* name;
  Bytes bytes;
  bool atStart, atEnd, inside;
};

TEST(ProcessIdReply, RecognisedWhereTheReaderLooksForIt) {
  const std::vector<DoneCase> cases = {
      {"lone reply", kReply, false, true, false},
      {"reply then status", Concat({kReply, kStatus}), true, false, true},
      {"status then reply", Concat({kStatus, kReply}), false, true, false},
      {"reply inside a gathered block", Concat({kStatus, kReply, kStatus, kStatus}), false, false,
       true},
      {"six bytes of a reply", Bytes(kReply.begin(), kReply.end() - 1), false, false, false},
      {"status blocks only", Concat({kStatus, kStatus, kStatus}), false, false, false},
  };
  for (const DoneCase& c : cases) {
    const links::ReaderBlock b = Block(c.bytes);
    EXPECT_EQ(links::ProcessIdReplyAtStart(b), c.atStart) << c.name;
    EXPECT_EQ(links::ProcessIdReplyAtEnd(b), c.atEnd) << c.name;
    EXPECT_EQ(links::ProcessIdReplyInside(b), c.inside) << c.name;
  }
}

// Each case is the blocks of successive reads; `done` is the read (1-based)
// that completes a reply begun in an earlier one, 0 for none.
TEST(SplitReply, CompletedAcrossReadsAndOnlyThen) {
  const struct {
    const char* name;
    std::vector<Bytes> reads;
    int done;
  } cases[] = {
      {"cut after its lead", {{0x37}, {0x22, 0x46, 0x46, 0x46, 0x46, 0x00}}, 2},
      {"cut before its NUL", {{0x37, 0x22, 0x46, 0x46, 0x46, 0x46}, {0x00}}, 2},
      {"status, then a cut reply",
       {Concat({kStatus, {0x37, 0x22, 0x46}}), {0x46, 0x46, 0x46, 0x00}},
       2},
      {"rest followed by a status block",
       {{0x37, 0x22}, Concat({{0x46, 0x46, 0x46, 0x46, 0x00}, kStatus})},
       2},
      {"three pieces", {{0x37, 0x22}, {0x46, 0x46}, {0x46, 0x46, 0x00}}, 3},
      {"empty reads between the pieces", {{0x37, 0x22, 0x46}, {}, {}, {0x46, 0x46, 0x46, 0x00}}, 4},
      {"a whole reply in one read is the other tests' work", {kReply, kStatus}, 0},
      {"other bytes between the pieces", {{0x37, 0x22, 0x46}, {0x10}, {0x46, 0x46, 0x46, 0x00}}, 0},
      {"another process ID", {{0x37, 0x22, 0x46}, {0x46, 0x46, 0x41, 0x00}}, 0},
      {"a rest without its start", {kStatus, {0x46, 0x46, 0x46, 0x00}}, 0},
  };
  for (const auto& c : cases) {
    links::SplitReplyWatch watch;
    int done = 0;
    for (size_t i = 0; i < c.reads.size(); ++i)
      if (watch.Completes(Block(c.reads[i])) && done == 0) done = static_cast<int>(i) + 1;
    EXPECT_EQ(done, c.done) << c.name;
  }
  // A reset (a new open) forgets the start of a reply.
  links::SplitReplyWatch watch;
  watch.Completes(Block({0x37, 0x22, 0x46}));
  watch.Reset();
  EXPECT_FALSE(watch.Completes(Block({0x46, 0x46, 0x46, 0x00})));
}

TEST(KeepAlive, RemovedFromTheFrontOrCutFromTheEnd) {
  const struct {
    const char* name;
    Bytes in, out;
  } cases[] = {
      {"lone keep-alive leaves nothing", Text("_GET_TIME"), {}},
      {"keep-alive then status", Concat({Text("_GET_TIME"), kStatus}), kStatus},
      {"status then keep-alive", Concat({kStatus, Text("_GET_TIME")}), kStatus},
      {"eight bytes untouched", Concat({kStatus, kStatus}), Concat({kStatus, kStatus})},
      // Status blocks that arrive together (a cover closed while the printer
      // answers two status requests) keep their last block: without a
      // keep-alive nothing is cut.
      {"three status blocks untouched", Concat({kStatus, kStatus, kStatus}),
       Concat({kStatus, kStatus, kStatus})},
      {"nine other bytes untouched", Text("ABCDEFGHI"), Text("ABCDEFGHI")},
      {"two status blocks then keep-alive", Concat({kStatus, kStatus, Text("_GET_TIME")}),
       Concat({kStatus, kStatus})},
  };
  for (const auto& c : cases) {
    links::ReaderBlock b = Block(c.in);
    links::RemoveKeepAlive(b);
    EXPECT_EQ(Bytes(b.bytes.begin(), b.bytes.begin() + b.length), c.out) << c.name;
  }
}

TEST(StatusBlock, PlainOnlyForTheThreeQuietPatterns) {
  const struct {
    Bytes last4;
    bool plain;
  } cases[] = {
      {{0x10, 0, 0, 0}, true},        {{0x3C, 0, 0, 0x0F}, true},  {{0x10, 0, 3, 0x0F}, true},
      {{0x14, 0, 3, 0}, false},       {{0x14, 0, 0x0F, 0}, false}, {{0x10, 1, 0, 0}, false},
      {{0x10, 0, 0x0C, 0x0F}, false},
  };
  for (const auto& c : cases) {
    const links::StatusBlock s = links::LastStatusBlock(Block(Concat({kReply, c.last4})));
    EXPECT_EQ(s.b0, c.last4[0]);
    EXPECT_EQ(s.plain(), c.plain) << int(c.last4[1]) << " " << int(c.last4[2]) << " "
                                  << int(c.last4[3]);
  }
}

class ReplyForwarding : public ::testing::Test {
 protected:
  void SetUp() override { link.SetReplyPort(port); }
  bool Forward(const Bytes& bytes) {
    return link.ForwardReply(bytes.data(), static_cast<int>(bytes.size()));
  }
  unsigned Take() {
    links::ReplyCopy copy{};
    copy.fill(0xAA);
    const unsigned n = link.TakeReplyCopy(copy);
    taken.assign(copy.begin(), copy.begin() + n);
    return n;
  }
  fakes::FakeClock clock;
  fakes::FakeDeviceLink link{clock};
  std::shared_ptr<fakes::FakeSerialPort> port = std::make_shared<fakes::FakeSerialPort>();
  Bytes taken;
};

TEST_F(ReplyForwarding, WrittenInOneWriteAndCopiedForTheLog) {
  EXPECT_TRUE(Forward(kStatus));
  EXPECT_TRUE(Forward(kReply));
  EXPECT_EQ(port->writes(), (std::vector<Bytes>{kStatus, kReply}));
  EXPECT_EQ(Take(), 11u);
  EXPECT_EQ(taken, Concat({kStatus, kReply}));
  EXPECT_EQ(Take(), 0u);
}

TEST_F(ReplyForwarding, SixByteRepliesAreForwardedButNeverCopied) {
  EXPECT_TRUE(Forward(Bytes(6, 0x5F)));
  EXPECT_EQ(port->writes().size(), 1u);
  EXPECT_EQ(Take(), 0u);
}

TEST_F(ReplyForwarding, CopyStaysBelow256Bytes) {
  EXPECT_TRUE(Forward(Bytes(200, 1)));
  EXPECT_TRUE(Forward(Bytes(56, 2)));  // would reach 256: forwarded only
  EXPECT_TRUE(Forward(Bytes(55, 3)));  // 255: still copied
  EXPECT_EQ(port->writes().size(), 3u);
  EXPECT_EQ(Take(), 255u);
  EXPECT_EQ(taken.back(), 3);
}

TEST_F(ReplyForwarding, NothingGoesOutWithoutDsrOrAfterAFailedWrite) {
  port->SetDsr(false);
  EXPECT_FALSE(Forward(kStatus));
  EXPECT_TRUE(port->writes().empty());
  port->SetDsr(true);
  port->FailWrites(true);
  EXPECT_FALSE(Forward(kStatus));
  link.SetReplyPort(nullptr);
  port->FailWrites(false);
  EXPECT_FALSE(Forward(kStatus));
  EXPECT_TRUE(port->writes().empty());
  EXPECT_EQ(Take(), 0u);
}

// The status block that answers the relay's own GS a 255 (sent after each
// job) is not the application's: it is kept from it, alone or ahead of the
// confirmation. Only the block right after the request can be that answer.
TEST_F(ReplyForwarding, TheAnswerToTheRelaysOwnStatusBackRequestIsKept) {
  const Bytes coverOpen = {0x30, 0x00, 0x00, 0x0F};
  struct Case {
    const char* name;
    std::vector<Bytes> blocks;
    std::vector<Bytes> forwarded;
  } cases[] = {
      {"alone", {kStatus, kReply}, {kReply}},
      {"ahead of the confirmation", {Concat({kStatus, kReply})}, {kReply}},
      {"a later one is the application's", {kStatus, coverOpen}, {coverOpen}},
      {"no status block first", {kReply, kStatus}, {kReply, kStatus}},
  };
  for (const Case& c : cases) {
    port = std::make_shared<fakes::FakeSerialPort>();
    link.SetReplyPort(port);
    link.AskStatusBack();
    for (const Bytes& block : c.blocks) Forward(block);
    EXPECT_EQ(port->writes(), c.forwarded) << c.name;
  }
  // Without the request every block goes through.
  port = std::make_shared<fakes::FakeSerialPort>();
  link.SetReplyPort(port);
  Forward(kStatus);
  EXPECT_EQ(port->writes(), std::vector<Bytes>{kStatus});
}

}  // namespace
