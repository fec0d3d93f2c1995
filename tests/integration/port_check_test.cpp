// The application port check of the headless relay, end to end: SIGUSR1 asks
// portrelay for it (as button 1001 would), the test page goes through the
// application end of the pseudo-terminal pair, the relay and the network to
// the printer simulator, which draws it; an independent decoder (zbarimg)
// reads the picture back. The same for SIGUSR2's banner and for the demo's
// sample receipt, which a point-of-sale program prints through the relay.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/test_page.h"
#include "tests/support/child_process.h"
#include "tests/support/relay_rig.h"
#include "tools/printer-sim/render/gray_image.h"

namespace {

using Symbols = std::vector<std::string>;

// zbarimg's "TYPE:DATA" lines for a picture, sorted (bounded by timeout(1)).
Symbols Decode(const std::string& png) {
  support::ChildProcess zbar;
  Symbols symbols;
  // zbarimg talks to D-Bus on stderr; only its findings matter.
  if (!zbar.Start({"sh", "-c", "timeout 30 zbarimg -q '" + png + "' 2>/dev/null"})) return symbols;
  zbar.WaitExit(40000);
  for (const std::string& line : zbar.Lines())
    if (!line.empty()) symbols.push_back(line);
  std::sort(symbols.begin(), symbols.end());
  return symbols;
}

bool WaitForPath(const std::string& path, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Pair 0 in the relay's registry: COM5 for the application, COM6 for the
// relay (the rig's port map already links COM6 to a pseudo-terminal pair).
void RegisterPair(support::RelayRig& rig) {
  support::WriteFile(rig.dir.File("registry.reg"),
                     "REGEDIT4\n\n"
                     "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCA0\\"
                     "Device Parameters]\n\"PortName\"=\"COM5\"\n\n"
                     "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCB0\\"
                     "Device Parameters]\n\"PortName\"=\"COM6\"\n\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\n");
}

class HeadlessPortCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPair(rig);
    ASSERT_TRUE(rig.StartPrinter({"--render", rig.dir.File("render"), "--render-gap", "3000"}));
    std::filesystem::create_directory(rig.dir.File("render"));
    ASSERT_TRUE(rig.StartRelay("Timeout=300\nResultTimeout=3000\n"));
    ASSERT_TRUE(rig.WaitForLog("COM6 open success", 20000)) << rig.relay.Output();
  }
  // The picture of the next job the printer finishes.
  std::string NextPicture() {
    auto line = rig.printer.events().Next("render ", std::chrono::seconds(30));
    if (!line) return "";
    return line->substr(7, line->find(' ', 7) - 7);
  }

  support::RelayRig rig;
};

TEST_F(HeadlessPortCheck, TestPageReachesThePrinterAndReadsBack) {
  rig.relay.Signal(SIGUSR1);
  ASSERT_TRUE(rig.relay.WaitForOutput("[normal] Application can use the COM5 port.", 20000))
      << rig.relay.Output();
  const std::string png = NextPicture();
  ASSERT_FALSE(png.empty()) << rig.printer.events().Dump();
  EXPECT_EQ(Decode(png),
            (Symbols{"CODE-39:1234567890", "QR-Code:https://portrelay.example/",
                     "QR-Code:https://portrelay.example/", "QR-Code:https://portrelay.example/"}));
  // The relay took it as one job and the printer confirmed it.
  EXPECT_TRUE(rig.WaitForLog("-bytes end", 10000)) << rig.Log();
  EXPECT_TRUE(rig.printer.events().Next("tx 7 3722", std::chrono::seconds(10)));
}

// A program holding the application end (with the lock the relay's own ports
// take): message 1. Once it lets go, the check finds the port usable: the
// failed check left nothing open.
TEST_F(HeadlessPortCheck, HeldApplicationPortIsReported) {
  const std::string app = rig.dir.File("dosdevices/com5");
  ASSERT_TRUE(WaitForPath(app, 10000));
  const int held = open(app.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  rig.relay.Signal(SIGUSR1);
  EXPECT_TRUE(rig.relay.WaitForOutput("[error] COM5 port is being used by another program.", 20000))
      << rig.relay.Output();
  close(held);
  rig.relay.Signal(SIGUSR1);
  EXPECT_TRUE(rig.relay.WaitForOutput("[normal] Application can use the COM5 port.", 20000))
      << rig.relay.Output();
}

// The banner prints dot for dot: the picture holds TestPageImage's 512 x 309
// dots exactly.
TEST_F(HeadlessPortCheck, BannerPrintsDotForDot) {
  rig.relay.Signal(SIGUSR2);
  const std::string png = NextPicture();
  ASSERT_FALSE(png.empty()) << rig.printer.events().Dump() << rig.relay.Output();
  printersim::GrayImage picture;
  std::string error;
  ASSERT_EQ(printersim::ReadPng(png, &picture, &error), 0) << error;

  auto bannerDot = [](int x, int y) {
    return (app::TestPageImage[8 + static_cast<size_t>(y) * 64 + x / 8] >> (7 - x % 8)) & 1;
  };
  // The banner's frame starts at its first black dot; find the same dot in
  // the picture's first rows of ink.
  int bx = -1, by = -1;
  for (int y = 0; y < 309 && by < 0; ++y)
    for (int x = 0; x < 512 && by < 0; ++x)
      if (bannerDot(x, y)) bx = x, by = y;
  int px = -1, py = -1;
  for (int y = 0; y < picture.height && py < 0; ++y)
    for (int x = 0; x < picture.width && py < 0; ++x)
      if (picture.At(x, y) < 128) px = x, py = y;
  ASSERT_GE(py, 0);
  const int left = px - bx, top = py - by;
  ASSERT_GE(left, 0);
  ASSERT_GE(top, 0);
  ASSERT_LE(left + 512, picture.width);
  ASSERT_LE(top + 309, picture.height);
  int different = 0;
  for (int y = 0; y < 309; ++y)
    for (int x = 0; x < 512; ++x)
      different += bannerDot(x, y) != (picture.At(left + x, top + y) < 128);
  EXPECT_EQ(different, 0);
}

TEST(DemoReceipt, PrintedThroughTheRelayReadsBack) {
  support::RelayRig rig;
  RegisterPair(rig);
  ASSERT_TRUE(rig.StartPrinter({"--render", rig.dir.File("render"), "--render-gap", "3000"}));
  std::filesystem::create_directory(rig.dir.File("render"));
  ASSERT_TRUE(rig.StartRelay("Timeout=300\nResultTimeout=3000\n"));
  ASSERT_TRUE(rig.WaitForLog("COM6 open success", 20000)) << rig.relay.Output();
  ASSERT_TRUE(WaitForPath(rig.dir.File("dosdevices/com5"), 10000));

  support::ChildProcess pos;
  ASSERT_TRUE(pos.Start({support::ExecutableDirectory() + "/pos-send", "--port",
                         rig.dir.File("dosdevices/com5"), "--receipt", "demo"}));
  ASSERT_EQ(pos.WaitExit(30000), 0) << pos.Output();
  auto line = rig.printer.events().Next("render ", std::chrono::seconds(30));
  ASSERT_TRUE(line) << rig.printer.events().Dump();
  const std::string png = line->substr(7, line->find(' ', 7) - 7);
  EXPECT_EQ(Decode(png), (Symbols{"CODE-128:ORDER-0042", "QR-Code:https://kelvo.example/o/0042"}));
}

}  // namespace
