// UsbLink on fake USB printers and a fake clock: finding the printer by its
// interface path, the probe, pieced writes, the reconnect after a failed
// write, the link check with its keep-alive, the reader's own rules and
// status table, and close.
#include "links/usb_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "links/link_front.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_printer_port.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_usb_printers.h"
#include "tests/unit/link_flags.h"

namespace {

using fakes::Bytes;
using linktest::Flags;
using linktest::SetFlags;

const Bytes kEot2 = {0x10, 0x04, 0x02};
const Bytes kEot4 = {0x10, 0x04, 0x04};
const Bytes kStatusEnable = {0x1D, 0x61, 0xFF};
const Bytes kNormal = {0x10, 0x00, 0x00, 0x0F};
const std::string kClass = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const std::string kA700 = "\\\\?\\usb#vid_0525&pid_a700#5&1a2b3c4d&0&1" + kClass;
const std::string kA701 = "\\\\?\\usb#vid_0525&pid_a701#5&1a2b3c4d&0&2" + kClass;
const std::string kA702 = "\\\\?\\usb#vid_0525&pid_a702#5&1a2b3c4d&0&3" + kClass;
const std::string kA703 = "\\\\?\\usb#vid_0525&pid_a703#5&1a2b3c4d&0&4" + kClass;
const std::string kOtherVendor = "\\\\?\\usb#vid_04b8&pid_0202#5&1a2b3c4d&0&5" + kClass;
const std::string kUpperCase = "\\\\?\\USB#VID_0525&PID_A700#5&1a2b3c4d&0&6" + kClass;

// A healthy printer: real-time status answers and a status block on GS a 255.
std::shared_ptr<fakes::FakePrinterPort> PlugPrinter(fakes::FakeUsbPrinters& usb,
                                                    const std::string& path, uint8_t eot2 = 0x12,
                                                    uint8_t eot4 = 0x12) {
  auto printer = usb.Plug(path);
  printer->Answer(kEot2, {eot2});
  printer->Answer(kEot4, {eot4});
  printer->Answer(kStatusEnable, kNormal);
  return printer;
}

class UsbLinkTest : public ::testing::Test {
 protected:
  void OpenQuiet() {
    ASSERT_EQ(link.Open("USB", 0), 0);
    link.state().statusRequest = 0;
  }
  int Enables() { return printer->CountWrites(kStatusEnable); }

  fakes::FakeClock clock;
  fakes::FakeUsbPrinters usb{clock};
  fakes::FakeProcesses machine;  // a 64-bit system
  std::shared_ptr<fakes::FakePrinterPort> printer = PlugPrinter(usb, kA700);
  links::UsbLink link{clock, usb, machine, links::ReaderMode::kManual};
};

TEST_F(UsbLinkTest, AcceptedPrintersByTheirPathPrefix) {
  const struct {
    std::string path;
    bool accepted;
  } cases[] = {{kA700, true},  {kA701, true},         {kA702, true},
               {kA703, false}, {kOtherVendor, false}, {kUpperCase, false}};
  for (const auto& c : cases) {
    fakes::FakeUsbPrinters u(clock);
    PlugPrinter(u, c.path);
    links::UsbLink l(clock, u, machine, links::ReaderMode::kManual);
    EXPECT_EQ(l.Open("USB", 0), c.accepted ? 0 : -1) << c.path;
    l.Close();
    EXPECT_EQ(u.held(), 0);
  }
}

TEST_F(UsbLinkTest, OpensTheFirstAcceptedPrinterThroughItsDataPath) {
  fakes::FakeUsbPrinters u(clock);
  PlugPrinter(u, kA703);
  PlugPrinter(u, kOtherVendor);
  auto device = PlugPrinter(u, kA701);
  PlugPrinter(u, kA702);
  links::UsbLink l(clock, u, machine, links::ReaderMode::kManual);
  ASSERT_EQ(l.Open("USB", 0), 0);
  EXPECT_EQ(u.opens(), (std::vector<std::string>{kA701, kA701 + "\\USB0/4 [overlapped]"}));
  EXPECT_EQ(l.devicePath(), kA701);
  const platform::CommTimeouts t = device->timeouts();
  EXPECT_EQ(t.readInterval, 50u);
  EXPECT_EQ(t.readTotalMultiplier, 0u);
  EXPECT_EQ(t.readTotalConstant, 100u);
  EXPECT_EQ(t.writeTotalMultiplier, 300u);
  EXPECT_EQ(t.writeTotalConstant, 500u);
  EXPECT_EQ(u.held(), 1);
  EXPECT_EQ(l.connected(), 1);
}

TEST_F(UsbLinkTest, NoAcceptedPrinterGivesMinus1AndHoldsNothing) {
  fakes::FakeUsbPrinters u(clock);
  PlugPrinter(u, kA703);
  fakes::FakeSystem system;
  links::DeviceLinks devices;
  devices[links::kLinkUsb] =
      std::make_unique<links::UsbLink>(clock, u, machine, links::ReaderMode::kManual);
  links::LinkFront front(clock, system, nullptr, std::move(devices));
  EXPECT_EQ(front.OpenLink("USB", 0), -1);
  EXPECT_EQ(u.loads(), 1);
  EXPECT_EQ(u.held(), 0);
  EXPECT_EQ(front.deviceLink(links::kLinkUsb)->state().open, 0);
}

TEST_F(UsbLinkTest, SetupLibraryThatDoesNotLoadGives2AfterTheProbeTime) {
  usb.loadResult = false;
  EXPECT_EQ(link.Open("USB", 0), 2);
  EXPECT_GT(clock.NowMs(), 500u);
  EXPECT_LT(clock.NowMs(), 700u);
  EXPECT_TRUE(usb.opens().empty());
  EXPECT_EQ(link.Close(), 0);  // the link counted as open
}

TEST_F(UsbLinkTest, ProbeResults) {
  const struct {
    uint8_t eot2, eot4;
    int result;
    const char* flags;
  } cases[] = {
      {0x12, 0x12, 0, "0001"}, {0x12, 0x1E, 0, "0001"},  // near end does not stop the open
      {0x16, 0x12, 1, "1001"}, {0x12, 0x72, 4, "0011"}, {0x12, 0x32, 4, "0011"},
  };
  for (const auto& c : cases) {
    fakes::FakeUsbPrinters u(clock);
    auto device = PlugPrinter(u, kA700, c.eot2, c.eot4);
    device->Answer(kStatusEnable, {});
    links::UsbLink l(clock, u, machine, links::ReaderMode::kManual);
    EXPECT_EQ(l.Open("USB", 0), c.result) << int(c.eot2) << "/" << int(c.eot4);
    EXPECT_EQ(Flags(l.state()), c.flags) << int(c.eot2) << "/" << int(c.eot4);
    const std::vector<Bytes> expected =
        c.result == 1 ? std::vector<Bytes>{kEot2} : std::vector<Bytes>{kEot2, kEot4};
    EXPECT_EQ(device->writeCalls(), expected);
  }
}

TEST_F(UsbLinkTest, SilentPrinterGives2AfterAbout500Ms) {
  fakes::FakeUsbPrinters u(clock);
  auto device = u.Plug(kA700);
  links::UsbLink l(clock, u, machine, links::ReaderMode::kManual);
  const uint32_t start = clock.NowMs();
  EXPECT_EQ(l.Open("USB", 0), 2);
  const uint32_t took = clock.NowMs() - start;
  EXPECT_GT(took, 500u);
  EXPECT_LE(took, 500u + 110u);
  EXPECT_EQ(device->CountWrites(kEot2), 5);  // one every 110 ms
  l.Close();
  EXPECT_EQ(u.held(), 0);
}

TEST_F(UsbLinkTest, A2500ByteWriteGoesOutAs1024_1024_452) {
  OpenQuiet();
  const size_t before = printer->writeCalls().size();
  const Bytes job(2500, 0x41);
  EXPECT_EQ(link.Write(job.data(), 2500), 1);
  const std::vector<Bytes> calls = printer->writeCalls();
  std::vector<size_t> sizes;
  for (size_t i = before; i < calls.size(); ++i) sizes.push_back(calls[i].size());
  EXPECT_EQ(sizes, (std::vector<size_t>{1024, 1024, 452}));
  const std::vector<uint32_t> waits = printer->writeWaits();
  EXPECT_EQ(waits.back(), 500u + 300u * 2500u);
}

TEST_F(UsbLinkTest, FailedPieceEndsTheWriteAndStartsTheReconnect) {
  OpenQuiet();
  const size_t before = printer->writeCalls().size();
  printer->ScriptWrites({{-1, true, 0}, {100, false, 5000}});
  const Bytes job(2500, 0x41);
  EXPECT_EQ(link.Write(job.data(), 2500), 0);
  EXPECT_EQ(printer->writeCalls().size(), before + 2);
  EXPECT_EQ(link.connected(), 0);
  EXPECT_FALSE(link.holdsDevice());
  EXPECT_EQ(usb.held(), 0);
}

// Unplugged mid-job and plugged back: printer off while it is away (writes
// refused), cover open and paper out until its first fresh status block.
TEST_F(UsbLinkTest, ReconnectSequence) {
  fakes::FakeSystem system;
  links::DeviceLinks devices;
  devices[links::kLinkUsb] =
      std::make_unique<links::UsbLink>(clock, usb, machine, links::ReaderMode::kManual);
  links::LinkFront front(clock, system, nullptr, std::move(devices));
  auto& usbLink = static_cast<links::UsbLink&>(*front.deviceLink(links::kLinkUsb));
  ASSERT_EQ(front.OpenLink("USB", 0), 0);

  usb.Unplug(kA700);
  const Bytes job(300, 0x42);
  EXPECT_EQ(front.WriteLink(job.data(), 300), 0);
  EXPECT_EQ(usbLink.connected(), 0);

  const uint32_t start = clock.NowMs();
  usbLink.ReconnectTurn();
  EXPECT_EQ(clock.NowMs() - start, 500u);
  EXPECT_EQ(front.GetStatus(), 8u);
  EXPECT_EQ(usbLink.state().open, 0);
  EXPECT_EQ(front.WriteLink(job.data(), 300), 0);  // refused
  usbLink.ReconnectTurn();
  EXPECT_EQ(front.GetStatus(), 8u);

  auto back = PlugPrinter(usb, kA700);
  usbLink.ReconnectTurn();
  EXPECT_EQ(usbLink.connected(), 1);
  EXPECT_EQ(usbLink.state().open, 1);
  EXPECT_EQ(usbLink.state().printerOff, 0);
  EXPECT_EQ(front.GetStatus(), 1u);
  EXPECT_EQ(Flags(usbLink.state()), "1011");
  EXPECT_EQ(back->timeouts().readTotalConstant, 100u);  // the reopened device is set up too

  usbLink.ReaderTurn();  // GS a 255 out, the printer's status block in
  EXPECT_EQ(back->CountWrites(kStatusEnable), 1);
  EXPECT_EQ(front.GetStatus(), 0u);
  EXPECT_EQ(front.WriteLink(job.data(), 300), 1);
  EXPECT_EQ(front.CloseLink(), 0);
  EXPECT_EQ(usb.held(), 0);
}

TEST_F(UsbLinkTest, LinkCheckOutcomes) {
  const struct {
    int check;
    int requestAfter;
  } cases[] = {
      {platform::kUsbNotLinked, 1}, {platform::kUsbLinked, 0}, {platform::kUsbLinkUnknown, 0}};
  OpenQuiet();
  for (const auto& c : cases) {
    usb.SetLinkCheck(c.check);
    link.state().statusRequest = 1 - c.requestAfter;
    link.ReaderTurn();
    EXPECT_EQ(link.state().statusRequest, c.requestAfter) << c.check;
  }
  EXPECT_EQ(usb.linkChecks().back(), kA700 + " [64]");
}

TEST_F(UsbLinkTest, LinkCheckReadsThe32BitViewOnA32BitSystem) {
  machine.processor = platform::kProcessorIntel;
  OpenQuiet();
  link.ReaderTurn();
  EXPECT_EQ(usb.linkChecks().back(), kA700);
}

TEST_F(UsbLinkTest, UnknownLinkSendsAKeepAliveAfterTenIdleSeconds) {
  usb.SetLinkCheck(platform::kUsbLinkUnknown);
  OpenQuiet();
  printer->Answer(kStatusEnable, {});
  const int before = Enables();
  link.ReaderTurn();
  EXPECT_EQ(Enables(), before);
  clock.Advance(10001);
  link.ReaderTurn();
  EXPECT_EQ(Enables(), before + 1);
  for (int i = 0; i < 20; ++i) link.ReaderTurn();  // 3 s of turns
  EXPECT_EQ(Enables(), before + 1);
  clock.Advance(10001);
  link.ReaderTurn();
  EXPECT_EQ(Enables(), before + 2);
}

TEST_F(UsbLinkTest, TwoSlowReadsInARowAskForStatus) {
  OpenQuiet();
  const struct {
    uint32_t readMs;
    int request;
  } turns[] = {{50, 0}, {50, 1}, {10, 0}, {60, 0}, {10, 0}, {60, 0}, {70, 1}};
  for (const auto& t : turns) {
    printer->SetReadMs(t.readMs);
    link.ReaderTurn();  // the link check (linked) has cleared the request before the read
    EXPECT_EQ(link.state().statusRequest, t.request) << t.readMs;
  }
}

TEST_F(UsbLinkTest, FullReadIsNotForwardedAndAsksForStatusAtOnce) {
  OpenQuiet();
  auto app = std::make_shared<fakes::FakeSerialPort>();
  link.SetReplyPort(app);
  printer->Answer(kStatusEnable, {});
  printer->Deliver(Bytes(256, 0x41));
  link.ReaderTurn();
  EXPECT_TRUE(app->writes().empty());
  EXPECT_EQ(Enables(), 1);
  EXPECT_EQ(link.state().statusRequest, 1);
  printer->Deliver(Bytes(255, 0x41));
  link.ReaderTurn();
  ASSERT_EQ(app->writes().size(), 1u);
  EXPECT_EQ(app->writes()[0].size(), 255u);
}

TEST_F(UsbLinkTest, RepliesThatConfirmAJob) {
  const struct {
    Bytes bytes;
    int done;
  } cases[] = {
      {{0x3B, 0x31, 0x00}, 1},
      {{0x41, 0x3B, 0x31, 0x00}, 1},
      {{0x3B, 0x31}, 0},
      {{0x3B, 0x31, 0x01}, 0},
      {{0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00}, 1},
      {{0x10, 0x00, 0x00, 0x0F, 0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00}, 1},
      {{0x0D}, 0},
  };
  OpenQuiet();
  for (const auto& c : cases) {
    link.state().printDone = 0;
    printer->Deliver(c.bytes);
    link.ReaderTurn();
    EXPECT_EQ(link.state().printDone, c.done) << c.bytes.size();
  }
  // A reply cut in two, its first piece a short read the reader otherwise
  // stops at.
  link.state().printDone = 0;
  printer->Deliver({0x37, 0x22});
  link.ReaderTurn();
  EXPECT_EQ(link.state().printDone, 0);
  printer->Deliver({0x46, 0x46, 0x46, 0x46, 0x00});
  link.ReaderTurn();
  EXPECT_EQ(link.state().printDone, 1);
}

TEST_F(UsbLinkTest, StatusTable) {
  OpenQuiet();
  printer->Answer(kStatusEnable, {});
  // The link check (linked) clears statusRequest before the read; the
  // rows that leave the flags alone start with it clear.
  for (const linktest::TableRow& r : linktest::CoverBitRows()) {
    SetFlags(link.state(), r.before);
    printer->Deliver(r.block);
    link.ReaderTurn();
    EXPECT_EQ(Flags(link.state()), r.after) << r.row;
  }
}

TEST_F(UsbLinkTest, EqualOnlineCountsSendOneExtraStatusEnable) {
  OpenQuiet();
  printer->Answer(kStatusEnable, {});
  const int before = Enables();
  printer->Deliver({0x10, 0, 0, 0x0F, 0x14, 0, 0, 0x0F});
  link.ReaderTurn();
  EXPECT_EQ(Enables(), before + 1);
  printer->Deliver({0x10, 0, 0, 0x0F, 0x10, 0, 3, 0x0F});
  link.ReaderTurn();
  EXPECT_EQ(Enables(), before + 1);
  EXPECT_EQ(Flags(link.state()), "0100");
}

TEST_F(UsbLinkTest, CloseSendsTheZeroByteFreesTheLibraryAndReleasesTheDevice) {
  EXPECT_EQ(link.Close(), 3);  // never opened
  ASSERT_EQ(link.Open("USB", 0), 0);
  EXPECT_EQ(link.Close(), 0);
  EXPECT_EQ(printer->writeCalls().back(), Bytes{0x00});
  EXPECT_EQ(usb.frees(), 1);
  EXPECT_EQ(usb.held(), 0);
  const std::vector<std::string> events = printer->events();
  EXPECT_EQ(events[events.size() - 2], "purge F");
  EXPECT_EQ(link.Close(), 3);
  const Bytes job(3, 0x41);
  EXPECT_EQ(link.Write(job.data(), 3), 0);
}

// The real reconnect thread and reader: unplugged during a job, reported as
// switched off, reopened when it is back, faults until its status arrives.
// Reads with nothing to read take their 100 ms time-out, as on a device:
// the slow-read rule then asks the printer back for its status even when the
// link check cleared the reconnect's request before the reader sent it.
TEST(UsbLinkThreads, UnpluggedAndPluggedBackWhileTheThreadsRun) {
  fakes::FakeClock clock;
  fakes::FakeUsbPrinters usb(clock);
  PlugPrinter(usb, kA700)->SetReadMs(100);
  fakes::FakeSystem system;
  fakes::FakeProcesses machine;
  links::DeviceLinks devices;
  devices[links::kLinkUsb] = std::make_unique<links::UsbLink>(clock, usb, machine);
  links::LinkFront front(clock, system, nullptr, std::move(devices));
  ASSERT_EQ(front.OpenLink("USB", 0), 0);
  auto waitFor = [&](unsigned status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (front.GetStatus() != status && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return front.GetStatus() == status;
  };
  ASSERT_TRUE(waitFor(0));

  usb.Unplug(kA700);
  const Bytes job(100, 0x41);
  front.WriteLink(job.data(), 100);
  EXPECT_TRUE(waitFor(8));
  PlugPrinter(usb, kA700)->SetReadMs(100);
  EXPECT_TRUE(waitFor(0)) << Flags(front.deviceLink(links::kLinkUsb)->state());
  EXPECT_EQ(front.WriteLink(job.data(), 100), 1);
  EXPECT_EQ(front.CloseLink(), 0);
  EXPECT_EQ(usb.held(), 0);
}

// A reader still inside a device read when close gives up on it (after its
// bounded waits) must not hold up the next open, nor be revived by it: the
// open fails while the reader of the earlier open runs, and succeeds once it
// has ended.
TEST(UsbLinkThreads, AReaderThatOutlivedTheCloseNeitherHangsNorJoinsTheNextOpen) {
  fakes::FakeClock clock;
  fakes::FakeUsbPrinters usb(clock);
  auto printer = PlugPrinter(usb, kA700);
  fakes::FakeProcesses machine;
  links::UsbLink link(clock, usb, machine);
  ASSERT_EQ(link.Open("USB", 0), 0);
  printer->HoldNextRead();
  ASSERT_TRUE(printer->WaitReadHeld(5000));
  EXPECT_EQ(link.Close(), 0);

  auto reopen = std::async(std::launch::async, [&] { return link.Open("USB", 0); });
  const bool returned = reopen.wait_for(std::chrono::seconds(4)) == std::future_status::ready;
  if (!returned) {
    // The open waits for the old reader, which it has told to go on: end it.
    printer->ReleaseRead();
    link.state().stopReader = 1;
  }
  ASSERT_TRUE(returned) << "the open waited for the reader of the earlier open";
  EXPECT_NE(reopen.get(), 0);
  EXPECT_EQ(link.state().open, 0);

  printer->ReleaseRead();
  EXPECT_EQ(link.Open("USB", 0), 0);
  EXPECT_EQ(link.state().open, 1);
  EXPECT_EQ(link.Close(), 0);
}

// A clock whose next sleep of a given length blocks (in real time) until
// released: a reconnect thread caught in its pause when close gives up on it.
class GatedClock : public fakes::FakeClock {
 public:
  void SleepMs(uint32_t ms) override {
    {
      std::unique_lock<std::mutex> g(lock_);
      if (ms == gated_) {
        gated_ = 0;
        holding_ = true;
        changed_.notify_all();
        changed_.wait(g, [this] { return !holding_; });
      }
    }
    FakeClock::SleepMs(ms);
  }
  void HoldNextSleep(uint32_t ms) {
    std::lock_guard<std::mutex> g(lock_);
    gated_ = ms;
  }
  bool WaitHeld(int timeoutMs) {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return holding_; });
  }
  void Release() {
    std::lock_guard<std::mutex> g(lock_);
    gated_ = 0;
    holding_ = false;
    changed_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  uint32_t gated_ = 0;
  bool holding_ = false;
};

// A reconnect thread still in its pause when close gives up on it must not
// be revived by the next open (it would look for the printer again, replace
// the new device and force its flags): the open fails while it runs.
TEST(UsbLinkThreads, AReconnectThatOutlivedTheCloseIsNotRevivedByTheNextOpen) {
  GatedClock clock;
  fakes::FakeUsbPrinters usb(clock);
  auto printer = PlugPrinter(usb, kA700);
  fakes::FakeProcesses machine;
  links::UsbLink link(clock, usb, machine);
  ASSERT_EQ(link.Open("USB", 0), 0);
  link.state().statusRequest = 0;
  clock.HoldNextSleep(links::UsbLink::kReconnectPauseMs);
  printer->ScriptWrites({{0, false, 0}});
  const Bytes job(10, 0x41);
  EXPECT_EQ(link.Write(job.data(), 10), 0);  // starts the reconnect
  ASSERT_TRUE(clock.WaitHeld(5000));
  EXPECT_EQ(link.Close(), 0);

  auto reopen = std::async(std::launch::async, [&] { return link.Open("USB", 0); });
  ASSERT_EQ(reopen.wait_for(std::chrono::seconds(4)), std::future_status::ready);
  const int result = reopen.get();
  const size_t opensBefore = usb.opens().size();
  clock.Release();
  EXPECT_NE(result, 0) << "opened while the reconnect of the earlier open still ran";
  if (result == 0) link.Close();

  // Once that thread has ended the link opens, and only the open looks for
  // the printer and opens it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int again = -1;
  while ((again = link.Open("USB", 0)) != 0 && std::chrono::steady_clock::now() < deadline) {
  }
  ASSERT_EQ(again, 0);
  EXPECT_EQ(link.state().printerOff, 0);
  EXPECT_EQ(link.connected(), 1);
  EXPECT_EQ(usb.opens().size(), opensBefore + 2) << "the earlier reconnect opened the device";
  EXPECT_EQ(link.Close(), 0);
}

}  // namespace
