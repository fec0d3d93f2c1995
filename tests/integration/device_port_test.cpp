// The POSIX device port under the printer links, on a real pseudo-terminal
// (the test holds the printer's side): bounded writes, purges that never
// discard bytes already sent, and modem lines reported as unknown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "platform/posix/port_map.h"
#include "platform/serial_port.h"

namespace {

using Bytes = std::vector<uint8_t>;

class DevicePortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    port = platform::posix::OpenDevicePath(ptsname(master));
    ASSERT_NE(port, nullptr);
    platform::LineSettings line;
    ASSERT_TRUE(port->GetLineSettings(line));
    ASSERT_TRUE(port->SetLineSettings(line));  // raw
  }
  void TearDown() override {
    port.reset();
    if (master >= 0) close(master);
  }
  Bytes PrinterReads() {
    Bytes out(4096);
    const ssize_t n = read(master, out.data(), out.size());
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
  }

  int master = -1;
  std::unique_ptr<platform::SerialPort> port;
};

TEST_F(DevicePortOnPty, WrittenBytesSurviveATransmitPurgeButRepliesDoNotSurviveAReceivePurge) {
  const Bytes job = {0x1B, 0x40, 'A', 'B', 0x0A};
  const platform::WriteResult r = port->WriteWithin(job.data(), 5, 1000);
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.count, 5);
  EXPECT_EQ(port->QueuedOutput(), 0);
  EXPECT_TRUE(port->Purge(platform::kPurgeTxAbort | platform::kPurgeTxClear));
  EXPECT_EQ(PrinterReads(), job);

  const Bytes reply = {0x10, 0x00, 0x00, 0x0F};
  ASSERT_EQ(write(master, reply.data(), reply.size()), 4);
  usleep(20000);
  EXPECT_EQ(port->QueuedInput(), 4);
  EXPECT_TRUE(port->Purge(platform::kPurgeAll));
  EXPECT_EQ(port->QueuedInput(), 0);
}

TEST_F(DevicePortOnPty, APrinterThatTakesNothingEndsTheWriteWithinItsWait) {
  // Nobody reads the printer's side: the pty fills up, then the wait ends.
  port->SetTimeouts({50, 0, 100, 0, 0});
  const Bytes chunk(64 * 1024, 0x41);
  const auto start = std::chrono::steady_clock::now();
  const platform::WriteResult r =
      port->WriteWithin(chunk.data(), static_cast<int>(chunk.size()), 300);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(r.finished);
  EXPECT_LT(r.count, static_cast<int>(chunk.size()));
  EXPECT_GE(took, std::chrono::milliseconds(250));
  EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST_F(DevicePortOnPty, ModemLinesAreUnknownAndAGoneDeviceFailsItsWrites) {
  platform::ModemStatus status;
  EXPECT_FALSE(port->GetModemStatus(status));
  close(master);
  master = -1;
  const Bytes bytes = {0x1D, 0x61, 0xFF};
  EXPECT_FALSE(port->WriteWithin(bytes.data(), 3, 500).finished);
}

}  // namespace
