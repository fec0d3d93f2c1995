// What every device link does with the printer's replies when the
// application's port cannot take them: an application that holds its port
// open but never reads (a print-only program) must not hold the reader up,
// so jobs are still confirmed and the status flags still follow the printer;
// and a printer that sends in bursts is forwarded as fast as it sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "links/com_link.h"
#include "links/lpt_link.h"
#include "links/tcp_link.h"
#include "links/usb_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_printer_port.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_sockets.h"
#include "tests/fakes/fake_usb_printers.h"

namespace {

using fakes::Bytes;

const Bytes kNormal = {0x10, 0x00, 0x00, 0x0F};
const Bytes kCoverOpen = {0x3C, 0x00, 0x00, 0x0F};
const Bytes kProcessIdReply = {0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00};
const std::string kUsbPath =
    "\\\\?\\usb#vid_0525&pid_a700#5&1a2b3c4d&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

// One link on its fake printer, opened, with the reader turned by hand.
struct Rig {
  virtual ~Rig() = default;
  virtual links::DeviceLink& link() = 0;
  // Bytes the printer sends on its own, readable at once.
  virtual void Deliver(const Bytes& bytes) = 0;
  fakes::FakeClock clock;
};

struct TcpRig : Rig {
  TcpRig() {
    sockets.Answer({0x10, 0x04, 0x02}, {0x12});
    sockets.Answer({0x10, 0x04, 0x04}, {0x12});
  }
  links::DeviceLink& link() override { return tcp; }
  void Deliver(const Bytes& bytes) override { sockets.Deliver(bytes); }
  fakes::FakeSockets sockets{clock};
  fakes::FakeSystem system;
  links::TcpLink tcp{clock, sockets, system, links::ReaderMode::kManual};
};

struct ComRig : Rig {
  links::DeviceLink& link() override { return com; }
  void Deliver(const Bytes& bytes) override { printer->Deliver(bytes); }
  fakes::FakeSerialPorts ports{clock};
  std::shared_ptr<fakes::FakePrinterPort> printer = ports.Add("\\\\.\\COM3");
  links::ComLink com{clock, ports, links::ReaderMode::kManual};
};

struct LptRig : Rig {
  links::DeviceLink& link() override { return lpt; }
  void Deliver(const Bytes& bytes) override { printer->Deliver(bytes); }
  fakes::FakeSerialPorts ports{clock};
  std::shared_ptr<fakes::FakePrinterPort> printer = ports.Add("LPT1");
  links::LptLink lpt{clock, ports, links::ReaderMode::kManual};
};

struct UsbRig : Rig {
  UsbRig() {
    printer->Answer({0x10, 0x04, 0x02}, {0x12});
    printer->Answer({0x10, 0x04, 0x04}, {0x12});
  }
  links::DeviceLink& link() override { return usb; }
  void Deliver(const Bytes& bytes) override { printer->Deliver(bytes); }
  fakes::FakeUsbPrinters printers{clock};
  std::shared_ptr<fakes::FakePrinterPort> printer = printers.Plug(kUsbPath);
  fakes::FakeProcesses machine;
  links::UsbLink usb{clock, printers, machine, links::ReaderMode::kManual};
};

struct LinkCase {
  const char* name;
  const char* target;
  int parameter;
  std::function<std::unique_ptr<Rig>()> make;
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class FullApplicationPort : public ::testing::TestWithParam<LinkCase> {
 protected:
  void SetUp() override {
    rig = GetParam().make();
    ASSERT_EQ(link().Open(GetParam().target, GetParam().parameter), 0);
    link().state().statusRequest = 0;
    link().SetReplyPort(app);
  }
  links::DeviceLink& link() { return rig->link(); }
  fakes::FakeClock& clock() { return rig->clock; }

  std::unique_ptr<Rig> rig;
  std::shared_ptr<fakes::FakeSerialPort> app = std::make_shared<fakes::FakeSerialPort>();
};

// The printer answers 1000 jobs (a few replies to the application's status
// queries, then the confirmation) while the application's port is full: each
// confirmation is seen within the turn that reads it, every forward waits a
// bounded time, and every 100th job the cover opens and closes and the flags
// follow.
TEST_P(FullApplicationPort, AnApplicationThatNeverReadsHoldsNothingUp) {
  app->SetFull(true, &clock());
  const Bytes answers = {'_', 'T', 'M', '-', 'T', '8', '8', 'V', 0x00, 0x12, 0x12, 0x12};
  for (int job = 0; job < 1000; ++job) {
    SCOPED_TRACE(job);
    links::LinkState& st = link().state();
    if (job % 100 == 50) {
      rig->Deliver(kCoverOpen);
      link().ReaderTurn();
      ASSERT_EQ(st.coverOpen, 1);
      rig->Deliver(kNormal);
      link().ReaderTurn();
      ASSERT_EQ(st.coverOpen, 0);
      st.statusRequest = 0;
    }
    st.printDone = 0;
    Bytes replies = answers;
    replies.insert(replies.end(), kProcessIdReply.begin(), kProcessIdReply.end());
    rig->Deliver(replies);
    const uint32_t start = clock().NowMs();
    link().ReaderTurn();
    ASSERT_EQ(st.printDone, 1);
    // One turn, its gathering included, and one bounded forward.
    ASSERT_LE(clock().NowMs() - start, 1000u);
  }
  EXPECT_EQ(app->unboundedWrites(), 0);
  const std::vector<uint32_t> waits = app->writeWaits();
  EXPECT_EQ(
      std::count_if(waits.begin(), waits.end(),
                    [](uint32_t w) { return w < 1 || w > links::DeviceLink::kForwardWaitMs; }),
      0);
  EXPECT_GT(link().TakeDroppedReplies(), 1000u * answers.size());
  EXPECT_EQ(link().TakeDroppedReplies(), 0u);

  // The application hangs up: nothing more is written to its port.
  const size_t attempts = app->writeWaits().size();
  app->SetDsr(false);
  rig->Deliver(answers);
  link().ReaderTurn();
  EXPECT_EQ(app->writeWaits().size(), attempts);
}

// Once the application reads again, replies reach it again, without the wait
// a full port costs.
TEST_P(FullApplicationPort, AnApplicationThatReadsAgainGetsTheNextReplies) {
  app->SetFull(true, &clock());
  rig->Deliver({0x12, 0x12});
  link().ReaderTurn();
  EXPECT_EQ(app->bytesWritten(), 0u);
  app->SetFull(false);
  rig->Deliver({0x16, 0x12});
  link().ReaderTurn();
  ASSERT_EQ(app->writes().size(), 1u);
  EXPECT_EQ(app->writes()[0], (Bytes{0x16, 0x12}));
  EXPECT_EQ(link().TakeDroppedReplies(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Links, FullApplicationPort,
    ::testing::Values(LinkCase{"Tcp", "192.168.0.50", 9100,
                               [] { return std::make_unique<TcpRig>(); }},
                      LinkCase{"Serial", "COM3", 6, [] { return std::make_unique<ComRig>(); }},
                      LinkCase{"Parallel", "LPT1", 0, [] { return std::make_unique<LptRig>(); }},
                      LinkCase{"Usb", "USB", 0, [] { return std::make_unique<UsbRig>(); }}),
    [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

// A second's worth of a 115200-baud printer (11520 bytes) reaches the
// application within a second. (The USB link does not forward full blocks:
// a full block there is a flood.)
class BurstForwarding : public FullApplicationPort {};

TEST_P(BurstForwarding, KeepsUpWithA115200BaudPrinter) {
  Bytes burst(11520);
  for (size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<uint8_t>('A' + i % 26);
  rig->Deliver(burst);
  const uint32_t start = clock().NowMs();
  for (int turn = 0; turn < 200 && app->bytesWritten() < burst.size(); ++turn) link().ReaderTurn();
  ASSERT_EQ(app->bytesWritten(), burst.size());
  EXPECT_LT(clock().NowMs() - start, 1000u);
  Bytes forwarded;
  for (const Bytes& w : app->writes()) forwarded.insert(forwarded.end(), w.begin(), w.end());
  EXPECT_EQ(forwarded, burst);
}

INSTANTIATE_TEST_SUITE_P(
    Links, BurstForwarding,
    ::testing::Values(LinkCase{"Tcp", "192.168.0.50", 9100,
                               [] { return std::make_unique<TcpRig>(); }},
                      LinkCase{"Serial", "COM3", 6, [] { return std::make_unique<ComRig>(); }},
                      LinkCase{"Parallel", "LPT1", 0, [] { return std::make_unique<LptRig>(); }}),
    [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

// An application port whose forwarder is held up just after a reply went
// through: the application already has the reply, the copy for the log not
// yet. (The worker reacts to the application's next write at once.)
class HeldUpAfterTheWrite : public fakes::FakeSerialPort {
 public:
  std::promise<void> written;
  std::promise<void> release;
  int Write(const uint8_t* data, int size, uint32_t waitMs) override {
    const int n = FakeSerialPort::Write(data, size, waitMs);
    if (!told_) {
      told_ = true;
      written.set_value();
      release.get_future().wait_for(std::chrono::milliseconds(300));
    }
    return n;
  }

 private:
  bool told_ = false;
};

// A reply the application has read is in the copy the next job's start logs,
// not left for a later job.
TEST(ReplyCopy, AReplyTheApplicationHasReadIsInTheCopy) {
  TcpRig rig;
  ASSERT_EQ(rig.link().Open("192.168.0.50", 9100), 0);
  rig.link().state().statusRequest = 0;
  auto app = std::make_shared<HeldUpAfterTheWrite>();
  rig.link().SetReplyPort(app);
  rig.Deliver({0x12});
  std::thread reader([&] { rig.link().ReaderTurn(); });
  ASSERT_EQ(app->written.get_future().wait_for(std::chrono::seconds(10)),
            std::future_status::ready);
  links::ReplyCopy copy{};
  const unsigned n = rig.link().TakeReplyCopy(copy);
  app->release.set_value();
  reader.join();
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(copy[0], 0x12);
}

}  // namespace
