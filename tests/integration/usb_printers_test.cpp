// The Linux USB printers on a sysfs tree built by the test (class/usbmisc
// entries linking to USB interfaces whose devices carry the identifiers),
// and the whole USB link on it with the printer simulator's pseudo-terminal
// as the device node: found, printed to, unplugged mid-job and plugged back.
#include "platform/usb_printers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "links/link_front.h"
#include "platform/platform.h"
#include "platform/posix/usb_printers.h"
#include "platform/serial_port.h"
#include "tests/support/relay_rig.h"
#include "tests/support/temp_dir.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;

const std::string kClass = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

class UsbTree : public ::testing::Test {
 protected:
  UsbTree() {
    fs::create_directories(dir.File("sys/class/usbmisc"));
    fs::create_directories(dir.File("dev/usb"));
    usb = platform::posix::MakeUsbPrinters(dir.File("sys"), dir.File("dev"));
  }
  // A printer lpN on USB device `bus` with the identifiers (as the kernel
  // writes them: lower-case hex and a newline).
  void AddPrinter(const std::string& name, const std::string& bus, const std::string& vendor,
                  const std::string& product) {
    const std::string device = dir.File("sys/devices/usb1/" + bus);
    fs::create_directories(device + "/" + bus + ":1.0");
    support::WriteFile(device + "/idVendor", vendor + "\n");
    support::WriteFile(device + "/idProduct", product + "\n");
    fs::create_directories(dir.File("sys/class/usbmisc/" + name));
    fs::create_symlink("../../../devices/usb1/" + bus + "/" + bus + ":1.0",
                       dir.File("sys/class/usbmisc/" + name + "/device"));
  }
  void RemovePrinter(const std::string& name) {
    fs::remove_all(dir.File("sys/class/usbmisc/" + name));
  }
  std::string PathOf(const std::string& ids, const std::string& name) {
    return "\\\\?\\usb#" + ids + "#" + name + kClass;
  }

  support::TempDir dir;
  std::unique_ptr<platform::UsbPrinters> usb;
};

TEST_F(UsbTree, PrintersAreListedInTheWindowsFormInKernelOrder) {
  AddPrinter("lp10", "1-3", "0525", "a702");
  AddPrinter("lp0", "1-1", "0525", "a700");
  AddPrinter("lp1", "1-2", "04B8", "0202");
  fs::create_directories(dir.File("sys/class/usbmisc/hiddev0"));  // not a printer
  std::vector<std::string> paths;
  EXPECT_EQ(usb->ListPrinters(paths), 3);
  EXPECT_EQ(paths, (std::vector<std::string>{PathOf("vid_0525&pid_a700", "lp0"),
                                             PathOf("vid_04b8&pid_0202", "lp1"),
                                             PathOf("vid_0525&pid_a702", "lp10")}));
}

TEST_F(UsbTree, LinkCheckFollowsTheDevicesPresence) {
  AddPrinter("lp0", "1-1", "0525", "a700");
  const std::string path = PathOf("vid_0525&pid_a700", "lp0");
  EXPECT_EQ(usb->CheckLink(path, true), platform::kUsbLinked);
  RemovePrinter("lp0");
  EXPECT_EQ(usb->CheckLink(path, true), platform::kUsbNotLinked);
  AddPrinter("lp0", "1-4", "0525", "a701");  // another printer took the name
  EXPECT_EQ(usb->CheckLink(path, true), platform::kUsbNotLinked);
  fs::remove_all(dir.File("sys/class"));
  EXPECT_EQ(usb->CheckLink(path, true), platform::kUsbLinkUnknown);
}

TEST_F(UsbTree, OpenGoesToTheDeviceNodeOfTheListedName) {
  AddPrinter("lp0", "1-1", "0525", "a700");
  support::WriteFile(dir.File("dev/usb/lp0"), "");
  const std::string path = PathOf("vid_0525&pid_a700", "lp0");
  auto plain = usb->Open(path, false);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(usb->Open(path + "\\USB0/4", true), nullptr);  // no sharing
  plain.reset();
  auto data = usb->Open(path + "\\USB0/4", true);
  ASSERT_NE(data, nullptr);
  const Bytes bytes = {0x1B, 0x40};
  EXPECT_TRUE(data->WriteWithin(bytes.data(), 2, 1000).finished);
  EXPECT_EQ(support::ReadFile(dir.File("dev/usb/lp0")), "\x1B\x40");
  // Names from a path never leave the device folder.
  EXPECT_EQ(usb->Open("\\\\?\\usb#vid_0525&pid_a700#lp0/../../x" + kClass, true), nullptr);
  EXPECT_EQ(usb->Open("\\\\?\\usb#vid_0525&pid_a700#..#{x}", true), nullptr);
}

class UsbLinkOnSimulator : public UsbTree {
 protected:
  ~UsbLinkOnSimulator() override {
    if (front) front->CloseLink();
  }
  void PlugIn() {
    AddPrinter("lp0", "1-1", "0525", "a700");
    std::string error;
    ASSERT_EQ(sim.Start(printersim::SimBinaryPath(),
                        {"--pty", dir.File("dev/usb/lp0"), "--record", dir.File("rx.bin")}, &error),
              0)
        << error;
  }
  void Unplug() {
    RemovePrinter("lp0");
    sim.Terminate();
  }
  bool WaitStatus(unsigned status, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(ms);
    while (front->GetStatus() != status && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(milliseconds(10));
    return front->GetStatus() == status;
  }
  int Write(const Bytes& b) { return front->WriteLink(b.data(), static_cast<int>(b.size())); }

  printersim::SimProcess sim;
  std::unique_ptr<links::LinkFront> front;
};

TEST_F(UsbLinkOnSimulator, UnpluggedMidJobAndPluggedBack) {
  PlugIn();
  platform::Platform record = platform::Native();
  record.usb = usb.get();
  front = links::NewLinkFront(record);
  ASSERT_EQ(front->OpenLink("USB", 0), 0) << sim.events().Dump();
  const Bytes job = {0x1B, 0x40, 'U', 'S', 'B', 0x0A};
  EXPECT_EQ(Write(job), 1);
  EXPECT_EQ(front->WaitPrintResult(5000), 0u) << sim.events().Dump();

  Unplug();
  Write(job);  // the write that finds the device gone
  EXPECT_TRUE(WaitStatus(8, 3000));
  EXPECT_EQ(Write(job), 0);  // refused while the printer is away

  PlugIn();
  // Back: faults until the printer's first status block, then nothing.
  EXPECT_TRUE(WaitStatus(0, 5000)) << sim.events().Dump();
  EXPECT_TRUE(sim.events().Next("cmd GS_a 255", milliseconds(3000)).has_value());
  EXPECT_EQ(Write(job), 1);
  EXPECT_EQ(front->WaitPrintResult(5000), 0u);
  EXPECT_EQ(front->CloseLink(), 0);
  // Close ends with the zero byte.
  EXPECT_TRUE(sim.events().Next("rx 1 00", milliseconds(3000)).has_value()) << sim.events().Dump();
}

}  // namespace
