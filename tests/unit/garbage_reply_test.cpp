// Printers that answer garbage: random bytes in reads of every length up to
// and beyond the reader's 256-byte block, on the serial, parallel and USB
// links. Nothing is read or written out of bounds (the sanitizer builds
// watch) and the next plain status block puts the flags right again.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "links/com_link.h"
#include "links/lpt_link.h"
#include "links/usb_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_printer_port.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_usb_printers.h"
#include "tests/unit/link_flags.h"

namespace {

using fakes::Bytes;

const Bytes kNormal = {0x10, 0x00, 0x00, 0x0F};

// Feeds garbage through the link's reader, then a plain status block.
void FeedGarbage(links::DeviceLink& link, fakes::FakePrinterPort& printer) {
  auto app = std::make_shared<fakes::FakeSerialPort>();
  link.SetReplyPort(app);
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    const int length = 1 + static_cast<int>(random() % 300);
    Bytes garbage(static_cast<size_t>(length));
    for (uint8_t& b : garbage) b = static_cast<uint8_t>(random());
    printer.Deliver(garbage);
    link.ReaderTurn();
    link.ReaderTurn();  // what did not fit in one block
  }
  printer.Deliver(kNormal);
  link.ReaderTurn();
}

TEST(GarbageReplies, SerialLink) {
  fakes::FakeClock clock;
  fakes::FakeSerialPorts ports(clock);
  auto printer = ports.Add("\\\\.\\COM3");
  links::ComLink link(clock, ports, links::ReaderMode::kManual);
  ASSERT_EQ(link.Open("COM3", 6), 0);
  FeedGarbage(link, *printer);
  EXPECT_EQ(linktest::Flags(link.state()), "0000");
  EXPECT_EQ(printer->pendingInput(), 0u);
}

TEST(GarbageReplies, ParallelLink) {
  fakes::FakeClock clock;
  fakes::FakeSerialPorts ports(clock);
  auto printer = ports.Add("LPT1");
  links::LptLink link(clock, ports, links::ReaderMode::kManual);
  ASSERT_EQ(link.Open("LPT1", 0), 0);
  FeedGarbage(link, *printer);
  EXPECT_EQ(linktest::Flags(link.state()), "0000");
}

TEST(GarbageReplies, UsbLink) {
  fakes::FakeClock clock;
  fakes::FakeUsbPrinters usb(clock);
  auto printer = usb.Plug("\\\\?\\usb#vid_0525&pid_a700#1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  printer->Answer({0x10, 0x04, 0x02}, {0x12});
  printer->Answer({0x10, 0x04, 0x04}, {0x12});
  fakes::FakeProcesses machine;
  links::UsbLink link(clock, usb, machine, links::ReaderMode::kManual);
  ASSERT_EQ(link.Open("USB", 0), 0);
  FeedGarbage(link, *printer);
  EXPECT_EQ(linktest::Flags(link.state()), "0000");
  EXPECT_EQ(link.connected(), 1);
}

}  // namespace
