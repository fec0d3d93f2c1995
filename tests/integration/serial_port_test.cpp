// The POSIX serial ports against real pseudo-terminals: the virtual pair that
// stands in for com0com (its application end, DSR following the application's
// open, exclusive use) and a plain device entry of the port map.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/port_map.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class VirtualPair : public ::testing::Test {
 protected:
  VirtualPair() {
    fs::create_directory(dir.File("dosdevices"));
    fs::create_symlink("pty:com5", dir.File("dosdevices/com6"));
    ports = platform::posix::MakeSerialPorts(dir.File("dosdevices"));
  }
  std::string AppEnd() { return dir.File("dosdevices/com5"); }
  bool Dsr(platform::SerialPort& port) {
    platform::ModemStatus status;
    EXPECT_TRUE(port.GetModemStatus(status));
    return status.dsr;
  }
  Bytes ReadAll(platform::SerialPort& port, size_t count) {
    Bytes out;
    for (int i = 0; i < 100 && out.size() < count; ++i) {
      port.WaitReadable(50);
      uint8_t buffer[8192];
      int n = port.Read(buffer, sizeof buffer);
      if (n > 0) out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

  support::TempDir dir;
  std::unique_ptr<platform::SerialPorts> ports;
};

TEST_F(VirtualPair, OpeningTheRelayEndPublishesTheApplicationEnd) {
  auto relay = ports->Open("\\\\.\\COM6", true);
  ASSERT_NE(relay, nullptr);
  ASSERT_TRUE(fs::is_symlink(AppEnd()));
  EXPECT_EQ(fs::read_symlink(AppEnd()).string().rfind("/dev/pts/", 0), 0u);
  relay.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(AppEnd())));
}

TEST_F(VirtualPair, DsrFollowsTheApplicationsOpen) {
  auto relay = ports->Open("\\\\.\\COM6", true);
  ASSERT_NE(relay, nullptr);
  EXPECT_FALSE(Dsr(*relay));
  support::SerialClient app;
  ASSERT_TRUE(app.Open(AppEnd()));
  EXPECT_TRUE(Dsr(*relay));
  app.Close();
  EXPECT_FALSE(Dsr(*relay));
  ASSERT_TRUE(app.Open(AppEnd()));
  EXPECT_TRUE(Dsr(*relay));
}

TEST_F(VirtualPair, BytesTravelUnchangedBothWays) {
  auto relay = ports->Open("\\\\.\\COM6", true);
  ASSERT_NE(relay, nullptr);
  platform::CommTimeouts at_once{platform::kMaxDword, 0, 0, 0, 0};
  relay->SetTimeouts(at_once);
  support::SerialClient app;
  ASSERT_TRUE(app.Open(AppEnd()));
  // Every byte value, including the ones a terminal would interpret.
  Bytes all(256 * 40);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(app.Write(all));
  EXPECT_EQ(ReadAll(*relay, all.size()), all);

  Bytes reply{0x0D, 0x0A, 0x03, 0x11, 0x13, 0x7F, 0x00, 0xFF};
  ASSERT_EQ(relay->Write(reply.data(), static_cast<int>(reply.size()), 1000),
            static_cast<int>(reply.size()));
  EXPECT_EQ(app.Read(reply.size(), 2000), reply);
}

// An application may write the moment its end appears, before the relay has
// set its end up (which clears it, as on Windows): that is a job's start.
TEST_F(VirtualPair, BytesWrittenAsSoonAsTheApplicationEndAppearsOutliveTheSetUp) {
  auto relay = ports->Open("\\\\.\\COM6", true);
  ASSERT_NE(relay, nullptr);
  relay->SetTimeouts({platform::kMaxDword, 0, 0, 0, 0});
  support::SerialClient app;
  ASSERT_TRUE(app.Open(AppEnd()));
  ASSERT_TRUE(app.Write(Bytes{0x1B, 0x40}));
  ASSERT_TRUE(relay->Purge(platform::kPurgeAll));
  EXPECT_EQ(ReadAll(*relay, 2), (Bytes{0x1B, 0x40}));
}

TEST_F(VirtualPair, DataWrittenBeforeTheApplicationClosedIsStillRead) {
  auto relay = ports->Open("\\\\.\\COM6", true);
  ASSERT_NE(relay, nullptr);
  relay->SetTimeouts({platform::kMaxDword, 0, 0, 0, 0});
  {
    support::SerialClient app;
    ASSERT_TRUE(app.Open(AppEnd()));
    ASSERT_TRUE(app.Write(std::string("last words")));
  }
  EXPECT_EQ(ReadAll(*relay, 10), (Bytes{'l', 'a', 's', 't', ' ', 'w', 'o', 'r', 'd', 's'}));
  // Afterwards the closed end reads as nothing, without a busy wait.
  uint8_t buffer[16];
  EXPECT_LE(relay->Read(buffer, sizeof buffer), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(relay->WaitReadable(100));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
}

TEST_F(VirtualPair, TheRelayEndIsNotShared) {
  auto first = ports->Open("\\\\.\\COM6", true);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ports->Open("\\\\.\\COM6", true), nullptr);
  first.reset();
  EXPECT_NE(ports->Open("\\\\.\\COM6", true), nullptr);
}

TEST_F(VirtualPair, UnknownNamesDoNotOpen) {
  EXPECT_EQ(ports->Open("\\\\.\\COM9", true), nullptr);
  EXPECT_EQ(ports->Open("\\\\.\\..", true), nullptr);
  EXPECT_EQ(ports->Open("\\\\.\\com6/../../x", true), nullptr);
}

TEST(PortMapDevice, OpensTheLinkedDeviceWithItsLineSettings) {
  support::TempDir dir;
  fs::create_directory(dir.File("dosdevices"));
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  grantpt(master);
  unlockpt(master);
  fs::create_symlink(ptsname(master), dir.File("dosdevices/com3"));
  auto ports = platform::posix::MakeSerialPorts(dir.File("dosdevices"));

  auto port = ports->Open("\\\\.\\COM3", true);
  ASSERT_NE(port, nullptr);
  platform::LineSettings line;
  ASSERT_TRUE(port->GetLineSettings(line));
  line.baudRate = 115200;
  EXPECT_TRUE(port->SetLineSettings(line));
  line.baudRate = 14400;
  EXPECT_FALSE(port->SetLineSettings(line));  // not a rate the device offers
  // A second user of the same device is refused.
  EXPECT_EQ(ports->Open("\\\\.\\COM3", true), nullptr);

  // Interval 50 ms, total 100 ms: nothing queued gives up after about 100 ms.
  port->SetTimeouts({50, 0, 100, 0, 0});
  uint8_t buffer[256];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port->Read(buffer, sizeof buffer), 0);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(90));
  EXPECT_LT(took, std::chrono::milliseconds(1000));

  ASSERT_EQ(::write(master, "\x10\x00\x00\x0f", 4), 4);
  EXPECT_EQ(port->Read(buffer, sizeof buffer), 4);
  EXPECT_EQ(port->Write(reinterpret_cast<const uint8_t*>("\x1d\x61\xff"), 3, 1000), 3);
  char back[3];
  EXPECT_EQ(::read(master, back, 3), 3);
  port.reset();
  ::close(master);
}

}  // namespace
