// The pty transport as a serial-port client sees it: open the link path,
// exchange raw bytes, close and reopen, power cycle.
#include "tools/printer-sim/pty_transport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/sim/sim_test_env.h"
#include "tools/printer-sim/event_log.h"
#include "tools/printer-sim/sim_server.h"

namespace printersim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// A serial-port client of the simulated device.
class PortClient {
 public:
  explicit PortClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  }
  ~PortClient() { Close(); }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void MakeRaw() {
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
  }
  bool Write(const Bytes& data) {
    return ::write(fd_, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  }
  Bytes Read(size_t n, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Bytes out;
    while (out.size() < n) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buf[256];
      const ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
      if (got <= 0) break;
      out.insert(out.end(), buf, buf + got);
    }
    return out;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class PtyTransportTest : public ::testing::Test {
 protected:
  void StartServer(SimConfig config = {}) {
    config.pty = link_;
    server_ = std::make_unique<SimServer>(config, events_.Sink());
    std::string error;
    ASSERT_EQ(server_->Start(&error), 0) << error;
  }
  void Exchange(PortClient& client) {
    ASSERT_TRUE(client.Write({0x10, 0x04, 0x02}));
    EXPECT_EQ(client.Read(1, 2s), Bytes{0x12});
  }

  ScratchDir dir_;
  const std::string link_ = dir_.File("com7");
  EventLog events_;
  std::unique_ptr<SimServer> server_;
};

TEST_F(PtyTransportTest, PassesEveryByteRawBothWays) {
  SimConfig config;
  config.record_path = dir_.File("record.bin");
  StartServer(config);
  EXPECT_EQ(std::filesystem::read_symlink(link_).string(), server_->device_path());
  PortClient client(link_);
  ASSERT_TRUE(client.ok());
  termios as_opened{};
  ASSERT_EQ(::tcgetattr(client.fd(), &as_opened), 0);
  EXPECT_EQ(as_opened.c_lflag & (ICANON | ECHO | ISIG), 0u) << "device not in raw mode";
  client.MakeRaw();
  // CR, LF, ^C, XON/XOFF and DEL must all arrive untouched.
  const Bytes data = {0x10, 0x04, 0x01, '\r', '\n', 0x03, 0x11, 0x13, 0x7F, 0x10, 0x04, 0x04};
  ASSERT_TRUE(client.Write(data));
  EXPECT_EQ(client.Read(2, 2s), (Bytes{0x16, 0x12}));
  EXPECT_TRUE(client.Read(1, 100ms).empty()) << "echo or translation on the device";
  EXPECT_EQ(ReadWholeFile(config.record_path), data);
}

TEST_F(PtyTransportTest, ClientCanCloseAndReopenWithoutTheSimulatorSpinning) {
  StartServer();
  {
    PortClient client(link_);
    ASSERT_TRUE(client.ok());
    client.MakeRaw();
    Exchange(client);
  }
  ASSERT_TRUE(events_.Next("conn close", 2s)) << events_.Dump();
  const double cpu_before = CpuSeconds();
  std::this_thread::sleep_for(400ms);
  EXPECT_LT(CpuSeconds() - cpu_before, 0.1) << "busy loop while the device is closed";
  for (int round = 0; round < 3; ++round) {
    PortClient client(link_);
    ASSERT_TRUE(client.ok());
    client.MakeRaw();
    Exchange(client);
  }
}

TEST_F(PtyTransportTest, AnswersForAClosedDeviceAreNotReadByTheNextClient) {
  StartServer();
  {
    PortClient client(link_);
    client.MakeRaw();
    ASSERT_TRUE(client.Write({0x1D, 0x61, 0x01}));  // ASB on: answers at once...
    ASSERT_TRUE(events_.Next("tx 4", 2s));
  }  // ...and the client leaves without reading.
  ASSERT_TRUE(events_.Next("conn close", 2s));
  ASSERT_EQ(server_->Control("cover open"), 0);  // An ASB block nobody can read.
  PortClient next(link_);
  next.MakeRaw();
  EXPECT_TRUE(next.Read(1, 200ms).empty());
}

TEST_F(PtyTransportTest, StaleLinkIsReplacedAndRemovedOnStop) {
  ASSERT_EQ(::symlink("/dev/pts/does-not-exist", link_.c_str()), 0);
  StartServer();
  EXPECT_EQ(std::filesystem::read_symlink(link_).string(), server_->device_path());
  server_->Stop();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link_)));
}

TEST_F(PtyTransportTest, RefusesToReplaceARegularFile) {
  std::ofstream(link_) << "keep me";
  SimConfig config;
  config.pty = link_;
  SimServer server(config, nullptr);
  std::string error;
  EXPECT_NE(server.Start(&error), 0);
  EXPECT_NE(error.find("not a symlink"), std::string::npos) << error;
}

TEST_F(PtyTransportTest, PowerOffIgnoresTheHostAndLosesWhatItSent) {
  StartServer();
  PortClient client(link_);
  client.MakeRaw();
  Exchange(client);
  ASSERT_EQ(server_->Control("power off"), 0);
  ASSERT_TRUE(client.Write({0x10, 0x04, 0x01}));
  EXPECT_TRUE(client.Read(1, 200ms).empty());
  ASSERT_EQ(server_->Control("power on"), 0);
  EXPECT_TRUE(events_.Next("discard 3", 2s)) << events_.Dump();
  EXPECT_TRUE(client.Read(1, 100ms).empty());
  Exchange(client);
}

}  // namespace
}  // namespace printersim
