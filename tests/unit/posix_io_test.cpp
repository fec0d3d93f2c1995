// The POSIX serial ports and sockets when their system calls are interrupted,
// find nothing to do yet, take only part of a write, or meet a hang-up. The
// calls go to real pseudo-terminals and socket pairs; the seam of
// platform/posix/io_calls.h turns chosen calls into those outcomes.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/os_error.h"
#include "platform/port_wait.h"
#include "platform/posix/control_socket.h"
#include "platform/posix/io_calls.h"
#include "platform/posix/native.h"
#include "platform/posix/port_map.h"
#include "platform/serial_port.h"
#include "platform/sockets.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using platform::posix::IoCalls;

// What one call does instead of (or on top of) the real call.
struct Step {
  int error = 0;            // fail with this errno without calling
  size_t limit = SIZE_MAX;  // the real call sees at most this many bytes
  short revents = 0;        // Poll: report these events without calling
  int value = -1;           // Ioctl, GetSockOpt: succeed with this value
};

Step Fail(int error) { return Step{error}; }
Step Limit(size_t bytes) { return Step{0, bytes}; }
Step Events(short revents) { return Step{0, SIZE_MAX, revents}; }
Step Value(int value) { return Step{0, SIZE_MAX, 0, value}; }

// Each queue scripts the next calls of its kind; once empty, the real calls
// run. `ioctls` stays in force for its request until the test changes it.
class ScriptedCalls : public IoCalls {
 public:
  std::deque<Step> reads, writes, polls, connects, selects, sends, recvs, peerNames;
  std::map<unsigned long, Step> ioctls;
  std::map<int, Step> sockOpts;
  std::vector<int> flushes;
  int pollCalls = 0;
  // Runs before each poll, with the descriptors it is about to wait on.
  std::function<void(pollfd*, nfds_t)> beforePoll;

  ssize_t Read(int fd, void* buffer, size_t size) override {
    const Step s = Next(reads);
    if (s.error) return Failed(s.error);
    return IoCalls::Read(fd, buffer, std::min(size, s.limit));
  }
  ssize_t Write(int fd, const void* data, size_t size) override {
    const Step s = Next(writes);
    if (s.error) return Failed(s.error);
    return IoCalls::Write(fd, data, std::min(size, s.limit));
  }
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
    ++pollCalls;
    if (beforePoll) beforePoll(fds, count);
    const Step s = Next(polls);
    if (s.error) return Failed(s.error);
    if (s.revents) {
      fds[0].revents = s.revents;
      return 1;
    }
    return IoCalls::Poll(fds, count, timeoutMs);
  }
  int Ioctl(int fd, unsigned long request, int* value) override {
    const auto it = ioctls.find(request);
    if (it == ioctls.end()) return IoCalls::Ioctl(fd, request, value);
    if (it->second.error) return Failed(it->second.error);
    *value = it->second.value;
    return 0;
  }
  int Tcflush(int fd, int queue) override {
    flushes.push_back(queue);
    return IoCalls::Tcflush(fd, queue);
  }
  int Connect(int fd, const sockaddr* address, socklen_t length) override {
    const Step s = Next(connects);
    if (s.error) return Failed(s.error);
    return IoCalls::Connect(fd, address, length);
  }
  int Select(int n, fd_set* r, fd_set* w, fd_set* e, timeval* timeout) override {
    const Step s = Next(selects);
    if (s.error) return Failed(s.error);
    return IoCalls::Select(n, r, w, e, timeout);
  }
  int GetSockOpt(int fd, int level, int option, void* value, socklen_t* length) override {
    const auto it = sockOpts.find(option);
    if (it == sockOpts.end()) return IoCalls::GetSockOpt(fd, level, option, value, length);
    *static_cast<int*>(value) = it->second.value;
    return 0;
  }
  int GetPeerName(int fd, sockaddr* address, socklen_t* length) override {
    const Step s = Next(peerNames);
    if (s.error) return Failed(s.error);
    return IoCalls::GetPeerName(fd, address, length);
  }
  ssize_t Send(int fd, const void* data, size_t size, int flags) override {
    const Step s = Next(sends);
    if (s.error) return Failed(s.error);
    return IoCalls::Send(fd, data, std::min(size, s.limit), flags);
  }
  ssize_t Recv(int fd, void* buffer, size_t size, int flags) override {
    const Step s = Next(recvs);
    if (s.error) return Failed(s.error);
    return IoCalls::Recv(fd, buffer, std::min(size, s.limit), flags);
  }

 private:
  static Step Next(std::deque<Step>& queue) {
    if (queue.empty()) return Step{};
    const Step s = queue.front();
    queue.pop_front();
    return s;
  }
  static int Failed(int error) {
    errno = error;
    return -1;
  }
};

// A device port on the slave side of a pseudo-terminal; the test holds the
// master, the device's far side.
class DevicePortCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    termios t{};
    ASSERT_EQ(tcgetattr(master, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(master, TCSANOW, &t), 0);
    port = platform::posix::OpenDevicePath(ptsname(master));
    ASSERT_NE(port, nullptr);
    SetReads(platform::kMaxDword, 0);
  }
  void TearDown() override {
    port.reset();
    if (master >= 0) close(master);
  }
  void SetReads(uint32_t interval, uint32_t total) {
    platform::CommTimeouts t;
    t.readInterval = interval;
    t.readTotalConstant = total;
    ASSERT_TRUE(port->SetTimeouts(t));
  }
  void FarSideWrites(const std::string& text) {
    ASSERT_EQ(write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // What reached the far side within a second.
  std::string FarSideReads(size_t count) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
      char buffer[256];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) out.append(buffer, static_cast<size_t>(n));
      if (n <= 0) usleep(1000);
    }
    return out;
  }
  std::string ReadPort(int expected, int size = 64) {
    std::string buffer(static_cast<size_t>(size), '\0');
    const int n = port->Read(reinterpret_cast<uint8_t*>(buffer.data()), size);
    EXPECT_EQ(n, expected);
    return buffer.substr(0, n > 0 ? static_cast<size_t>(n) : 0);
  }

  int master = -1;
  char buffer[16] = {};
  std::unique_ptr<platform::SerialPort> port;
  ScriptedCalls calls;
  platform::posix::ScopedIoCalls installed{calls};
};

const Bytes kJob = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST_F(DevicePortCalls, ImmediateReadsTakeInterruptionsAsNothingYetAndLoseNothing) {
  const struct {
    int error;
    int result;
  } cases[] = {{EINTR, 0}, {EAGAIN, 0}, {EIO, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    FarSideWrites("abc");
    calls.reads.push_back(Fail(c.error));
    ReadPort(c.result);
    EXPECT_EQ(ReadPort(3), "abc");  // still there for the next read
  }
}

TEST_F(DevicePortCalls, TimedReadsRideOutInterruptedReadsAndWaits) {
  SetReads(20, 2000);
  FarSideWrites("hello");
  calls.reads = {Fail(EINTR)};
  calls.polls = {Fail(EINTR)};
  EXPECT_EQ(ReadPort(5), "hello");
  calls.reads = {Limit(2), Fail(EINTR)};  // a short read, then an interrupted one
  FarSideWrites("world");
  EXPECT_EQ(ReadPort(5), "world");
}

TEST_F(DevicePortCalls, ATimedReadThatMeetsAHangUpEndsWithWhatItHas) {
  SetReads(20, 2000);
  calls.polls = {Events(POLLHUP)};
  ReadPort(-1);  // nothing came: a failure
  FarSideWrites("ab");
  calls.reads = {Limit(1)};
  calls.polls = {Events(POLLHUP)};
  EXPECT_EQ(ReadPort(1), "a");
}

TEST_F(DevicePortCalls, WritesGoOnThroughShortWritesStallsAndInterruptions) {
  calls.writes = {Limit(3), Fail(EAGAIN), Limit(2), Fail(EINTR)};
  EXPECT_EQ(port->Write(kJob.data(), 10, 1000), 10);
  EXPECT_EQ(FarSideReads(10), "0123456789");
}

TEST_F(DevicePortCalls, AFailedWriteReportsOnlyWhatWentOut) {
  calls.writes = {Limit(4), Fail(EIO)};
  EXPECT_EQ(port->Write(kJob.data(), 10, 1000), 4);
  EXPECT_EQ(FarSideReads(4), "0123");
  calls.writes = {Fail(EIO)};
  EXPECT_EQ(port->Write(kJob.data(), 10, 1000), -1);
}

TEST_F(DevicePortCalls, AWriteThatMeetsAHangUpWhileWaitingForRoomEnds) {
  calls.writes = {Limit(4), Fail(EAGAIN), Fail(EAGAIN), Fail(EAGAIN)};
  calls.polls = {Events(POLLHUP), Events(POLLHUP), Events(POLLHUP)};
  EXPECT_EQ(port->Write(kJob.data(), 10, 0), 4);
  EXPECT_EQ(calls.pollCalls, 1);
  FarSideReads(4);
  calls.writes = {Fail(EAGAIN)};
  calls.polls = {Events(POLLOUT | POLLHUP)};
  EXPECT_EQ(port->Write(kJob.data(), 10, 0), -1);
}

TEST_F(DevicePortCalls, WriteWithinFinishesOnlyWhenEveryByteHasLeft) {
  calls.writes = {Limit(3), Limit(3)};
  platform::WriteResult r = port->WriteWithin(kJob.data(), 10, 1000);
  EXPECT_EQ(r.count, 10);
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(FarSideReads(10), "0123456789");

  // A hang-up while waiting for room: what went out, not finished.
  calls.writes = {Limit(4), Fail(EAGAIN)};
  calls.polls = {Events(POLLHUP)};
  r = port->WriteWithin(kJob.data(), 10, 1000);
  EXPECT_EQ(r.count, 4);
  EXPECT_FALSE(r.finished);
  FarSideReads(4);

  // An output queue that never drains: the rest is flushed and not counted.
  calls.ioctls[TIOCOUTQ] = Value(6);
  r = port->WriteWithin(kJob.data(), 10, 30);
  EXPECT_EQ(r.count, 4);
  EXPECT_FALSE(r.finished);
  EXPECT_EQ(calls.flushes, std::vector<int>{TCOFLUSH});
}

TEST_F(DevicePortCalls, WriteTimeoutsOfThePortEndAStuckWriteAsFinished) {
  platform::CommTimeouts t;
  t.readInterval = platform::kMaxDword;
  t.writeTotalConstant = 20;
  ASSERT_TRUE(port->SetTimeouts(t));
  calls.ioctls[TIOCOUTQ] = Value(6);
  const platform::WriteResult r = port->WriteWithin(kJob.data(), 10, 1000);
  EXPECT_EQ(r.count, 4);
  EXPECT_TRUE(r.finished);
}

// The port keeps the OS error of its last failure for the log: the failing
// call's errno, EIO for a hang-up, ETIMEDOUT for a write the wait gave up on.
TEST_F(DevicePortCalls, AFailureLeavesItsOsErrorForTheLog) {
  EXPECT_EQ(port->LastError(), 0);
  const struct {
    const char* name;
    std::function<void()> fail;
    int error;
  } cases[] = {
      {"write fails",
       [&] {
         calls.writes = {Fail(ENXIO)};
         port->WriteWithin(kJob.data(), 10, 1000);
       },
       ENXIO},
      {"read fails",
       [&] {
         calls.reads = {Fail(EIO)};
         port->Read(reinterpret_cast<uint8_t*>(buffer), 8);
       },
       EIO},
      {"hang-up while writing",
       [&] {
         calls.writes = {Fail(EAGAIN)};
         calls.polls = {Events(POLLHUP)};
         port->Write(kJob.data(), 10, 0);
       },
       EIO},
      {"output never drains",
       [&] {
         calls.ioctls[TIOCOUTQ] = Value(6);
         port->WriteWithin(kJob.data(), 10, 30);
         calls.ioctls.erase(TIOCOUTQ);
       },
       ETIMEDOUT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.fail();
    EXPECT_EQ(port->LastError(), c.error);
  }
}

// A device another program holds (its lock taken) is refused, and the open's
// error reads as held on this build.
TEST_F(DevicePortCalls, AHeldDeviceFailsToOpenAsHeld) {
  std::string why;
  EXPECT_EQ(platform::posix::OpenDevicePath(ptsname(master), &why), nullptr);
  EXPECT_EQ(platform::OsCauseOf(platform::posix::LastOpenError()), platform::OsCause::kHeld);
  EXPECT_EQ(why, "access denied (held by another program)");
}

TEST_F(DevicePortCalls, WaitingOnAHungUpPortSaysNoWithoutSpinning) {
  calls.polls = {Events(POLLHUP)};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port->WaitReadable(500));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
  EXPECT_EQ(calls.pollCalls, 1);
}

TEST_F(DevicePortCalls, QueueQuestionsThatFail) {
  calls.ioctls[FIONREAD] = Fail(EIO);
  calls.ioctls[TIOCOUTQ] = Fail(EIO);
  EXPECT_EQ(port->QueuedInput(), -1);
  EXPECT_EQ(port->QueuedOutput(), 0);
}

TEST(PairRelayEndCalls, DsrFollowsTheHangUpAndAFailedPollKnowsNothing) {
  support::TempDir dir;
  fs::create_directory(dir.File("dosdevices"));
  fs::create_symlink("pty:com5", dir.File("dosdevices/com6"));
  auto ports = platform::posix::MakeSerialPorts(dir.File("dosdevices"));
  auto relay = ports->Open("\\\\.\\COM6", true);
  ASSERT_NE(relay, nullptr);

  ScriptedCalls calls;
  platform::posix::ScopedIoCalls installed(calls);
  calls.polls = {Events(POLLIN), Events(POLLHUP), Fail(EBADF)};
  platform::ModemStatus status;
  ASSERT_TRUE(relay->GetModemStatus(status));
  EXPECT_TRUE(status.dsr);
  ASSERT_TRUE(relay->GetModemStatus(status));
  EXPECT_FALSE(status.dsr);
  EXPECT_FALSE(relay->GetModemStatus(status));
}

// The wait for input on a real relay end (the master of a pseudo-terminal)
// with the application end open or closed: what ends it, and that a closed
// application end, which the master reports as a hang-up on every poll,
// does not turn the wait into a loop.
class PairRelayEndWait : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(dir.File("dosdevices"));
    fs::create_symlink("pty:com5", dir.File("dosdevices/com6"));
    ports = platform::posix::MakeSerialPorts(dir.File("dosdevices"));
    relay = ports->Open("\\\\.\\COM6", true);
    ASSERT_NE(relay, nullptr);
    wait = std::make_unique<platform::PortWait>(clock, ports->NewPortSignals());
    list = {relay.get()};
  }
  void TearDown() override {
    if (app >= 0) close(app);
  }
  void OpenApplicationEnd() {
    app = open(dir.File("dosdevices/com5").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(app, 0);
  }
  // Runs `action` once, just before the wait's poll over the wake-up
  // descriptor and the port (the one with more than one descriptor).
  void BeforeTheWaitsPoll(std::function<void()> action) {
    calls.beforePoll = [this, action, done = false](pollfd*, nfds_t count) mutable {
      if (count < 2 || done) return;
      done = true;
      action();
    };
  }

  support::TempDir dir;
  platform::posix::PosixClock clock;
  std::unique_ptr<platform::SerialPorts> ports;
  std::unique_ptr<platform::SerialPort> relay;
  std::unique_ptr<platform::PortWait> wait;
  std::vector<platform::SerialPort*> list;
  int app = -1;
  ScriptedCalls calls;
  platform::posix::ScopedIoCalls installed{calls};
};

TEST_F(PairRelayEndWait, InputFromTheApplicationEndsTheWait) {
  OpenApplicationEnd();
  BeforeTheWaitsPoll([this] { ASSERT_EQ(write(app, "x", 1), 1); });
  EXPECT_EQ(wait->Wait(list, 60000, 10), platform::WaitEnd::kInput);
}

TEST_F(PairRelayEndWait, AWakeUpEndsTheWait) {
  OpenApplicationEnd();
  BeforeTheWaitsPoll([this] { wait->Wake(); });
  EXPECT_EQ(wait->Wait(list, 60000, 10), platform::WaitEnd::kWoken);
}

TEST_F(PairRelayEndWait, AWakeUpFromAnotherThreadEndsTheWait) {
  std::thread waker;
  BeforeTheWaitsPoll([this, &waker] { waker = std::thread([this] { wait->Wake(); }); });
  EXPECT_EQ(wait->Wait(list, 60000, 10), platform::WaitEnd::kWoken);
  waker.join();
}

TEST_F(PairRelayEndWait, AClosedApplicationEndIsWaitedOnWithoutSpinning) {
  // Never opened by an application: the master reports a hang-up.
  EXPECT_EQ(wait->Wait(list, 300, 10), platform::WaitEnd::kTimeUp);
  // Two looks at the hang-up and one wait, not one poll per 10 ms or a loop.
  EXPECT_LE(calls.pollCalls, 4);
}

TEST_F(PairRelayEndWait, OpeningTheClosedApplicationEndAndWritingEndsTheWait) {
  BeforeTheWaitsPoll([this] {
    OpenApplicationEnd();
    ASSERT_EQ(write(app, "x", 1), 1);
  });
  EXPECT_EQ(wait->Wait(list, 60000, 10), platform::WaitEnd::kInput);
}

TEST_F(PairRelayEndWait, APollThatKeepsFailingDoesNotSpin) {
  OpenApplicationEnd();
  calls.polls.assign(1000, Fail(EINVAL));
  EXPECT_EQ(wait->Wait(list, 200, 10), platform::WaitEnd::kTimeUp);
  EXPECT_LE(calls.pollCalls, 10);
}

// An application that holds its end of the pair open and never reads it:
// once its port is full a write gives up after the time it was given, and
// once the application has closed its end a write ends at once.
TEST(PairRelayEnd, WritesToAFullOrClosedApplicationPortEndInTime) {
  support::TempDir dir;
  fs::create_directory(dir.File("dosdevices"));
  fs::create_symlink("pty:com5", dir.File("dosdevices/com6"));
  auto ports = platform::posix::MakeSerialPorts(dir.File("dosdevices"));
  auto relay = ports->Open("\\\\.\\COM6", true);
  ASSERT_NE(relay, nullptr);
  const int app = open(dir.File("dosdevices/com5").c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(app, 0);

  const Bytes block(256, 0x12);
  int full = 0;
  for (int i = 0; i < 1000 && full == 0; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const int n = relay->Write(block.data(), static_cast<int>(block.size()), 100);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_LT(took, std::chrono::milliseconds(1000));
    if (n < static_cast<int>(block.size())) full = i + 1;
  }
  ASSERT_GT(full, 0) << "the application's port never filled";

  close(app);
  // A write that spun on the hang-up would never return: it runs on a thread
  // of its own (which owns the port) so that the test still ends.
  std::shared_ptr<platform::SerialPort> shared(std::move(relay));
  auto written = std::make_shared<std::promise<int>>();
  std::thread([shared, written, block] {
    written->set_value(shared->Write(block.data(), static_cast<int>(block.size()), 100000));
  }).detach();
  auto result = written->get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_LE(result.get(), 0);
  platform::ModemStatus status;
  ASSERT_TRUE(shared->GetModemStatus(status));
  EXPECT_FALSE(status.dsr);
}

// The socket calls on one end of a connected socket pair.
class SocketCalls : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  void TearDown() override {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  int Send(const std::string& text) {
    return sockets.Send(fds[0], reinterpret_cast<const uint8_t*>(text.data()),
                        static_cast<int>(text.size()));
  }
  int Receive() {
    uint8_t buffer[64];
    return sockets.Receive(fds[0], buffer, sizeof buffer);
  }

  int fds[2] = {-1, -1};
  platform::Sockets& sockets = platform::posix::NewSockets();
  ScriptedCalls calls;
  platform::posix::ScopedIoCalls installed{calls};
};

TEST_F(SocketCalls, SendAndReceiveFailuresReadAsWinsockDoes) {
  const struct {
    int error;
    int result;
  } cases[] = {{EINTR, platform::kSocketWouldBlock},
               {EAGAIN, platform::kSocketWouldBlock},
               {EPIPE, platform::kSocketError},
               {ECONNRESET, platform::kSocketError}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    calls.sends = {Fail(c.error)};
    EXPECT_EQ(Send("x"), c.result);
    EXPECT_EQ(sockets.LastError(), c.error);
    calls.recvs = {Fail(c.error)};
    EXPECT_EQ(Receive(), c.result);
    EXPECT_EQ(sockets.LastError(), c.error);
  }
}

TEST_F(SocketCalls, AShortSendReportsTheCountTaken) {
  calls.sends = {Limit(3)};
  EXPECT_EQ(Send("0123456789"), 3);
  char buffer[16] = {};
  EXPECT_EQ(read(fds[1], buffer, sizeof buffer), 3);
  EXPECT_EQ(std::string(buffer), "012");
}

TEST_F(SocketCalls, AHungUpPeerReadsAsClosedAndWritingToItFailsWithoutASignal) {
  close(fds[1]);
  fds[1] = -1;
  EXPECT_EQ(Receive(), 0);
  EXPECT_EQ(Send("x"), platform::kSocketError);  // no SIGPIPE ends the test
  EXPECT_EQ(sockets.LastError(), EPIPE);
}

TEST_F(SocketCalls, AConnectStillGoingOnOrRefusedAtOnceIsLeftToTheWait) {
  const struct {
    int error;
    int result;
  } cases[] = {{EINPROGRESS, platform::kSocketWouldBlock},
               {ECONNREFUSED, platform::kSocketWouldBlock},
               {EINTR, platform::kSocketWouldBlock},
               {ENETUNREACH, platform::kSocketError}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    calls.connects = {Fail(c.error)};
    EXPECT_EQ(sockets.Connect(fds[0], platform::Ipv4Peer{0x7F000001, 9}), c.result);
    EXPECT_EQ(sockets.LastError(), c.error);
  }
}

TEST_F(SocketCalls, TheWaitForAConnectTellsAFailedOneFromAWritableOne) {
  EXPECT_EQ(sockets.WaitWritable(fds[0], 100), 1);
  calls.sockOpts[SO_ERROR] = Value(ECONNREFUSED);
  EXPECT_EQ(sockets.WaitWritable(fds[0], 100), 0);
  EXPECT_EQ(sockets.LastError(), ECONNREFUSED);
  calls.sockOpts.clear();
  calls.peerNames = {Fail(ENOTCONN)};
  EXPECT_EQ(sockets.WaitWritable(fds[0], 100), 0);
  calls.selects = {Fail(EBADF)};
  EXPECT_EQ(sockets.WaitWritable(fds[0], 100), platform::kSocketError);
}

// The running relay's control socket in a folder of each length: its file is
// the owner's alone and goes with the server; a request past the bound gets
// no answer; with no server the caller hears that none runs.
TEST(ControlSocket, AnswersOneBoundedRequestInAFolderOfAnyLength) {
  for (const size_t extra : {0, 120}) {
    SCOPED_TRACE(extra);
    support::TempDir dir;
    const std::string folder = dir.File(std::string(extra, 'f'));
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/" + platform::posix::ControlSocketName("Test");
    std::string answer;
    EXPECT_EQ(platform::posix::AskControl(folder, "Test", "recent\n", 100, answer), ENOENT);
    platform::posix::ControlServer server;
    ASSERT_EQ(
        server.Start(folder, "Test", 16, [](const std::string& line) { return "<" + line + ">"; }),
        0);
    EXPECT_EQ(std::filesystem::status(file).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(platform::posix::AskControl(folder, "Test", "recent\n", 100, answer), 0);
    EXPECT_EQ(answer, "<recent>");
    EXPECT_EQ(platform::posix::AskControl(folder, "Test", std::string(40, 'x'), 100, answer), 0);
    EXPECT_EQ(answer, "");
    server.Stop();
    EXPECT_FALSE(std::filesystem::exists(file));
  }
}

}  // namespace
