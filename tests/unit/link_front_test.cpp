// LinkFront: link selection, the codes it returns, status priorities, the
// print-result wait, and the spooler link behind it.
#include "links/link_front.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/fake_device_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_print_spooler.h"
#include "tests/fakes/fake_serial_port.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kStatusBackOn = {0x1D, 0x61, 0xFF};
const Bytes kProcessIdRequest = {0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 0x46, 0x46, 0x46, 0x46};

class LinkFrontTest : public ::testing::Test {
 protected:
  LinkFrontTest() {
    links::DeviceLinks links;
    links[links::kLinkCom] = std::make_unique<fakes::FakeDeviceLink>(clock);
    links[links::kLinkLpt] = std::make_unique<fakes::FakeDeviceLink>(clock);
    links[links::kLinkUsb] = std::make_unique<fakes::FakeDeviceLink>(clock);
    links[links::kLinkTcp] = std::make_unique<fakes::FakeDeviceLink>(clock);
    spooler.AddPrinter("Receipt");
    front = std::make_unique<links::LinkFront>(clock, system, &spooler, std::move(links));
  }
  fakes::FakeDeviceLink& Link(int kind) {
    return static_cast<fakes::FakeDeviceLink&>(*front->deviceLink(kind));
  }
  // The printer answers the process-ID request at once.
  void AnswerRequests(int kind) {
    Link(kind).onWrite = [this, kind](const Bytes& b) {
      if (b == kProcessIdRequest) Link(kind).state().printDone = 1;
    };
  }

  fakes::FakeClock clock;
  fakes::FakeSystem system;
  fakes::FakePrintSpooler spooler;
  std::unique_ptr<links::LinkFront> front;
};

TEST_F(LinkFrontTest, SelectionByTheFirstThreeCharacters) {
  const struct {
    const char* target;
    int parameter, kind, linkParameter;
  } cases[] = {
      {"COM3", 9600, links::kLinkCom, 6},
      {"COM1", 1200, links::kLinkCom, 3},
      {"COM12", 115200, links::kLinkCom, 10},
      {"LPT1", 9600, links::kLinkLpt, 9600},
      {"USB", 0, links::kLinkUsb, 0},
      {"usb001", 9600, links::kLinkTcp, 9600},
      {"192.168.0.10", 9100, links::kLinkTcp, 9100},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(front->OpenLink(c.target, c.parameter), 0) << c.target;
    EXPECT_EQ(front->linkKind(), c.kind) << c.target;
    EXPECT_EQ(front->spoolerMode(), 0);
    ASSERT_FALSE(Link(c.kind).opens.empty());
    EXPECT_EQ(Link(c.kind).opens.back().target, c.target);
    EXPECT_EQ(Link(c.kind).opens.back().parameter, c.linkParameter) << c.target;
  }
}

TEST_F(LinkFrontTest, UnknownRateFailsWithMinusOneAndLeavesNothingOpen) {
  Link(links::kLinkCom).openResults = {1};  // the serial link refuses index 0
  EXPECT_EQ(front->OpenLink("COM3", 14400), -1);
  EXPECT_EQ(Link(links::kLinkCom).opens.back().parameter, 0);
  EXPECT_EQ(Link(links::kLinkCom).closes, 1);
  EXPECT_EQ(Link(links::kLinkCom).state().open, 0);
}

TEST_F(LinkFrontTest, FailureCodesPerLinkAndCloseAfterEachFailure) {
  const struct {
    const char* target;
    int kind, linkResult, result;
  } cases[] = {
      {"LPT1", links::kLinkLpt, 1, -1},    {"USB", links::kLinkUsb, 2, 2},
      {"USB", links::kLinkUsb, -1, -1},    {"10.0.0.9", links::kLinkTcp, 8, 8},
      {"10.0.0.9", links::kLinkTcp, 4, 4},
  };
  for (const auto& c : cases) {
    Link(c.kind).openResults = {c.linkResult};
    const int closes = Link(c.kind).closes;
    EXPECT_EQ(front->OpenLink(c.target, 9100), c.result) << c.target << " " << c.linkResult;
    EXPECT_EQ(Link(c.kind).closes, closes + 1);
  }
}

TEST_F(LinkFrontTest, KindsWithoutALinkFailToOpen) {
  links::DeviceLinks onlyTcp;
  onlyTcp[links::kLinkTcp] = std::make_unique<fakes::FakeDeviceLink>(clock);
  links::LinkFront f(clock, system, nullptr, std::move(onlyTcp));
  for (const char* target : {"COM3", "LPT1", "USB"}) {
    EXPECT_EQ(f.OpenLink(target, 9600), -1) << target;
  }
  EXPECT_EQ(f.linkKind(), links::kLinkUsb);
  EXPECT_EQ(f.GetStatus(), 0u);
  EXPECT_EQ(f.OpenLink("Receipt", 1), -1);  // no spooler in this build
}

TEST_F(LinkFrontTest, ParameterOneAlwaysSelectsTheSpooler) {
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  for (const char* target : {"COM3", "USB", "10.0.0.9"}) {
    EXPECT_EQ(front->OpenLink(target, 1), -1) << target;  // no such printer
    EXPECT_EQ(front->spoolerMode(), 1);
    EXPECT_EQ(front->spoolerOpen(), 0);
  }
  EXPECT_EQ(front->linkKind(), links::kLinkTcp);
  EXPECT_EQ(Link(links::kLinkCom).opens.size() + Link(links::kLinkUsb).opens.size(), 0u);
}

// The spooler prints a document when it ends: each job is one document,
// ended when the job ends (its print result is asked for), whatever the
// real-time setting, so nothing waits in an open document (and is lost
// with it) until the link closes. No status comes back through the spooler.
TEST_F(LinkFrontTest, SpoolerDocumentPerJob) {
  const Bytes first = {0x1B, 0x40, 0x41, 0x0A};
  const Bytes second = {0x1B, 0x40, 0x42, 0x0A};
  ASSERT_EQ(front->OpenLink("Receipt", 1), 0);
  EXPECT_EQ(front->spoolerOpen(), 1);
  EXPECT_EQ(front->WriteLink(first.data(), 2), 1);
  EXPECT_EQ(front->WriteLink(first.data() + 2, 2), 1);
  EXPECT_EQ(front->GetStatus(), 0u);
  EXPECT_EQ(front->WaitPrintResult(10000), 0u);
  EXPECT_EQ(clock.NowMs(), 0u);  // at once
  ASSERT_EQ(spooler.documents().size(), 1u);
  EXPECT_TRUE(spooler.documents()[0].ended);

  EXPECT_EQ(front->WriteLink(second.data(), 4), 1);
  EXPECT_EQ(front->WaitPrintResult(10000), 0u);
  EXPECT_EQ(front->CloseLink(), 0);
  EXPECT_EQ(front->spoolerOpen(), 0);
  EXPECT_EQ(front->CloseLink(), 2);
  EXPECT_EQ(front->WriteLink(second.data(), 4), 2);

  const auto docs = spooler.documents();
  ASSERT_EQ(docs.size(), 2u);
  for (const auto& doc : docs) {
    EXPECT_EQ(doc.name, "Kelvo");
    EXPECT_EQ(doc.dataType, "RAW");
    EXPECT_TRUE(doc.ended && doc.closed);
  }
  EXPECT_EQ(docs[0].bytes, first);  // no process-ID request went to the printer
  EXPECT_EQ(docs[1].bytes, second);
}

// A printer that closes its connection (switched off for a moment, or an
// idle connection dropped) loses what was sent into it, yet the link connects
// again and the new connection answers the process-ID request: that answer
// does not confirm a job written before the loss. A loss before the job's
// first byte, or after its confirmation, leaves the job confirmed.
TEST_F(LinkFrontTest, AJobThatMetALostConnectionIsNotConfirmed) {
  const Bytes job = {0x1B, 0x40, 0x41, 0x0A};
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  AnswerRequests(links::kLinkTcp);
  fakes::FakeDeviceLink& tcp = Link(links::kLinkTcp);

  tcp.LoseConnection();  // before the job
  EXPECT_EQ(front->WriteLink(job.data(), 2), 1);
  EXPECT_EQ(front->WaitPrintResult(3000), 0u);

  EXPECT_EQ(front->WriteLink(job.data(), 2), 1);
  tcp.LoseConnection();  // while the job is sent
  EXPECT_EQ(front->WriteLink(job.data() + 2, 2), 1);
  EXPECT_EQ(front->WaitPrintResult(3000), unsigned{links::kJobIncomplete});

  EXPECT_EQ(front->WriteLink(job.data(), 4), 1);
  tcp.onWrite = [&](const Bytes& b) {  // found lost while the relay waits
    if (b == kProcessIdRequest) {
      tcp.LoseConnection();
      tcp.state().printDone = 1;
    }
  };
  EXPECT_EQ(front->WaitPrintResult(3000), unsigned{links::kJobIncomplete});

  AnswerRequests(links::kLinkTcp);
  EXPECT_EQ(front->WriteLink(job.data(), 4), 1);  // the reprint
  EXPECT_EQ(front->WaitPrintResult(3000), 0u);
  tcp.LoseConnection();  // after it
  EXPECT_EQ(front->WaitPrintResult(3000), 0u);
}

// A document the spooler will not end is no printed job; it stays open, and
// closing the link tries to end it again.
TEST_F(LinkFrontTest, ASpoolerDocumentThatCannotBeEndedIsNoPrintedJob) {
  const Bytes job = {0x41, 0x0A};
  ASSERT_EQ(front->OpenLink("Receipt", 1), 0);
  EXPECT_EQ(front->WriteLink(job.data(), 2), 1);
  spooler.refuseEnd = true;
  EXPECT_NE(front->WaitPrintResult(10000), 0u);
  EXPECT_EQ(front->CloseLink(), -1);
  EXPECT_EQ(front->spoolerOpen(), 1);
  spooler.refuseEnd = false;
  EXPECT_EQ(front->CloseLink(), 0);
  ASSERT_EQ(spooler.documents().size(), 1u);
  EXPECT_TRUE(spooler.documents()[0].ended);
}

// One spooler call per byte cost one round trip per byte: a chunk goes out
// in as few calls as the spooler takes, still stopping at the first byte it
// refuses.
TEST_F(LinkFrontTest, SpoolerWritesTakeAsFewCallsAsTheSpoolerAllows) {
  Bytes job(10000);
  for (size_t i = 0; i < job.size(); ++i) job[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(front->OpenLink("Receipt", 1), 0);
  EXPECT_EQ(front->WriteLink(job.data(), 10000), 1);
  EXPECT_EQ(spooler.documents()[0].writeCalls, 1);
  EXPECT_EQ(front->WaitPrintResult(0), 0u);

  spooler.takePerCall = 4096;
  EXPECT_EQ(front->WriteLink(job.data(), 10000), 1);
  EXPECT_EQ(spooler.documents()[1].writeCalls, 3);
  EXPECT_EQ(spooler.documents()[1].bytes, job);
  EXPECT_EQ(front->WaitPrintResult(0), 0u);

  spooler.refuseWriteAt = 5000;
  EXPECT_EQ(front->WriteLink(job.data(), 10000), 0);
  EXPECT_EQ(spooler.documents()[2].writeCalls, 2);
  EXPECT_EQ(spooler.documents()[2].bytes, Bytes(job.begin(), job.begin() + 5000));
}

TEST_F(LinkFrontTest, SpoolerWriteStopsAtTheFirstRefusedByte) {
  ASSERT_EQ(front->OpenLink("Receipt", 1), 0);
  spooler.refuseWriteAt = 2;
  const Bytes job = {1, 2, 3, 4, 5};
  EXPECT_EQ(front->WriteLink(job.data(), 5), 0);
  EXPECT_EQ(spooler.documents()[0].bytes, (Bytes{1, 2}));
  spooler.refuseStart = true;
  EXPECT_EQ(front->OpenLink("Receipt", 1), -1);
  EXPECT_EQ(front->spoolerOpen(), 0);
}

// The relay asks after each job how much of it the printer could not take.
TEST_F(LinkFrontTest, FailedWritesAreCountedUntilTaken) {
  const Bytes job = {1, 2, 3, 4, 5};
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  front->WriteLink(job.data(), 5);
  EXPECT_EQ(front->TakeUndelivered(), 0u);
  Link(links::kLinkTcp).writeResult = -1;
  front->WriteLink(job.data(), 5);
  front->WriteLink(job.data(), 3);
  EXPECT_EQ(front->TakeUndelivered(), 8u);
  EXPECT_EQ(front->TakeUndelivered(), 0u);

  ASSERT_EQ(front->OpenLink("Receipt", 1), 0);
  spooler.refuseWriteAt = 2;
  front->WriteLink(job.data(), 5);
  EXPECT_EQ(front->TakeUndelivered(), 5u);
  front->CloseLink();
  EXPECT_EQ(front->WriteLink(job.data(), 5), 2);  // no document open
  EXPECT_EQ(front->TakeUndelivered(), 5u);
}

TEST_F(LinkFrontTest, GetStatusPriorities) {
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  const struct {
    int cover, nearEnd, paperEnd, off;
    unsigned status;
  } cases[] = {
      {1, 1, 1, 1, 1}, {1, 0, 1, 0, 1}, {0, 1, 0, 1, 2},
      {0, 0, 1, 1, 4}, {0, 0, 0, 1, 8}, {0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    links::LinkState& s = Link(links::kLinkTcp).state();
    s.coverOpen = c.cover;
    s.paperNearEnd = c.nearEnd;
    s.paperEnd = c.paperEnd;
    s.printerOff = c.off;
    EXPECT_EQ(front->GetStatus(), c.status);
  }
}

TEST_F(LinkFrontTest, WaitPrintResultCodesAndTimes) {
  const struct {
    const char* name;
    int cover, nearEnd, paperEnd, off;
    bool answers;
    uint32_t timeoutMs;
    unsigned result;
    uint32_t elapsedMs;
    bool requestSent;
  } cases[] = {
      {"answered", 0, 0, 0, 0, true, 10000, 0, 1200, true},
      {"near end still completes", 0, 1, 0, 0, true, 10000, 0, 1200, true},
      {"cover open", 1, 0, 1, 0, true, 10000, 1, 1000, false},
      {"paper out", 0, 0, 1, 1, true, 10000, 4, 1000, false},
      {"power off", 0, 0, 0, 1, true, 10000, 8, 1000, false},
      {"no answer, time-out 0", 0, 0, 0, 0, false, 0, 16, 1100, true},
      {"answered within the pause, time-out 0", 0, 0, 0, 0, true, 0, 0, 1200, true},
      {"no answer, time-out 500", 0, 0, 0, 0, false, 500, 16, 1500, true},
  };
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  fakes::FakeDeviceLink& link = Link(links::kLinkTcp);
  for (const auto& c : cases) {
    link.state().coverOpen = c.cover;
    link.state().paperNearEnd = c.nearEnd;
    link.state().paperEnd = c.paperEnd;
    link.state().printerOff = c.off;
    link.state().printDone = 1;  // an earlier answer must not count
    link.writes.clear();
    if (c.answers) {
      AnswerRequests(links::kLinkTcp);
    } else {
      link.onWrite = nullptr;
    }
    const uint32_t start = clock.NowMs();
    EXPECT_EQ(front->WaitPrintResult(c.timeoutMs), c.result) << c.name;
    EXPECT_EQ(clock.NowMs() - start, c.elapsedMs) << c.name;
    // Automatic Status Back is asked for first (the job may have reset the
    // printer), then the confirmation.
    const std::vector<Bytes> expected = c.requestSent
                                            ? std::vector<Bytes>{kStatusBackOn, kProcessIdRequest}
                                            : std::vector<Bytes>{kStatusBackOn};
    EXPECT_EQ(link.writes, expected) << c.name;
  }
  EXPECT_TRUE(system.debugLines().empty());
}

TEST_F(LinkFrontTest, FaultDuringTheWaitEndsIt) {
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  Link(links::kLinkTcp).onWrite = [this](const Bytes& bytes) {
    if (bytes == kProcessIdRequest) Link(links::kLinkTcp).state().paperEnd = 1;
  };
  EXPECT_EQ(front->WaitPrintResult(10000), 4u);
  EXPECT_EQ(clock.NowMs(), 1100u);
}

// A relay that is stopping waits for no answer: the wait ends within 100 ms
// of the request to abandon it, in the pause or in the polling.
TEST_F(LinkFrontTest, AnAbandonedWaitEndsWithinATenthOfASecond) {
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  for (uint32_t abandonAt : {300u, 2500u}) {
    SCOPED_TRACE(abandonAt);
    std::atomic<int> stop{0};
    const uint32_t start = clock.NowMs();
    clock.onSleep = [&] {
      if (clock.NowMs() - start >= abandonAt) stop = 1;
    };
    EXPECT_EQ(front->WaitPrintResult(60000, &stop), 16u);
    clock.onSleep = nullptr;
    EXPECT_LE(clock.NowMs() - start, abandonAt + 100);
  }
}

TEST_F(LinkFrontTest, UsbTimeoutLeavesADebugLine) {
  ASSERT_EQ(front->OpenLink("USB", 0), 0);
  EXPECT_EQ(front->WaitPrintResult(0), 16u);
  EXPECT_EQ(system.debugLines(), std::vector<std::string>{"Timeout !!!!!!!!!!!!!!!!!!"});
}

TEST_F(LinkFrontTest, CloseDisablesStatusThenClosesTheSelectedLink) {
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  EXPECT_EQ(front->CloseLink(), 0);
  EXPECT_EQ(Link(links::kLinkTcp).statusDisables, 1);
  EXPECT_EQ(Link(links::kLinkTcp).closes, 1);
}

TEST_F(LinkFrontTest, ReplyPortAndCopyBelongToTheSelectedDeviceLink) {
  ASSERT_EQ(front->OpenLink("10.0.0.9", 9100), 0);
  auto port = std::make_shared<fakes::FakeSerialPort>();
  EXPECT_EQ(front->SetReplyPort(port), 0);
  const Bytes status = {0x10, 0x00, 0x00, 0x0F};
  EXPECT_TRUE(Link(links::kLinkTcp).ForwardReply(status.data(), 4));
  links::ReplyCopy copy{};
  ASSERT_EQ(front->TakeReplyCopy(copy), 4u);
  EXPECT_EQ(copy[0], 0x10);

  // The spooler selected: nothing stored, nothing taken.
  EXPECT_TRUE(Link(links::kLinkTcp).ForwardReply(status.data(), 4));
  ASSERT_EQ(front->OpenLink("Receipt", 1), 0);
  EXPECT_EQ(front->SetReplyPort(nullptr), 0);
  EXPECT_EQ(front->TakeReplyCopy(copy), 0u);
  EXPECT_EQ(port->writes().size(), 2u);
}

}  // namespace
