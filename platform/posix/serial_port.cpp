// Serial ports on POSIX. Read side by side with platform/win32/serial_port.cpp:
// the port (FdPort, then the device's line settings and modem lines in
// TtyPort), then the factory. A COM or LPT name is looked up in the port map
// (port_map.h): a device entry opens that device with termios, a virtual pair
// entry opens the pair's relay end (pty_relay_port.cpp).
//
// Windows behaviour kept here:
//  - "no sharing": an exclusive flock, so a second open of the same port fails;
//  - read time-outs: MAXDWORD/0/0 returns at once with what is queued; other
//    values wait up to the total time for the first byte and then gather bytes
//    that follow within the interval;
//  - writes wait at most the given time (or the write time-outs) and return the
//    count actually written.
#include "platform/serial_port.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/posix/fd_port.h"
#include "platform/posix/io_calls.h"
#include "platform/posix/native.h"
#include "platform/posix/port_map.h"
#include "platform/posix/port_signals.h"
#include "platform/posix/pty_relay_port.h"

namespace platform::posix {
namespace {

uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Waits for the events on fd; -1 timeout waits for ever. Returns poll's revents
// (0 on time-out).
short PollFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    int r = Io().Poll(&p, 1, timeoutMs);
    if (r > 0) return p.revents;
    if (r == 0) return 0;
    if (errno != EINTR) return POLLERR;
  }
}

speed_t SpeedFor(uint32_t baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return 0;
  }
}

uint32_t BaudFor(speed_t speed) {
  for (uint32_t baud : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u, 230400u})
    if (SpeedFor(baud) == speed) return baud;
  return 0;
}

}  // namespace

// FdPort: the descriptor, its time-outs, reads and writes.
FdPort::~FdPort() {
  if (fd_ >= 0) close(fd_);
}

bool FdPort::Purge(unsigned flags) {
  int which = -1;
  const bool rx = flags & kPurgeRxClear, tx = flags & kPurgeTxClear;
  if (rx && tx)
    which = TCIOFLUSH;
  else if (rx)
    which = TCIFLUSH;
  else if (tx)
    which = TCOFLUSH;
  return which < 0 || Io().Tcflush(fd_, which) == 0;
}

bool FdPort::GetTimeouts(CommTimeouts& timeouts) {
  std::lock_guard<std::mutex> g(lock_);
  timeouts = timeouts_;
  return true;
}

bool FdPort::SetTimeouts(const CommTimeouts& timeouts) {
  std::lock_guard<std::mutex> g(lock_);
  timeouts_ = timeouts;
  return true;
}

int FdPort::QueuedInput() {
  int n = 0;
  return Io().Ioctl(fd_, FIONREAD, &n) == 0 ? n : -1;
}

int FdPort::QueuedOutput() {
  int n = 0;
  return Io().Ioctl(fd_, TIOCOUTQ, &n) == 0 && n > 0 ? n : 0;
}

int FdPort::Read(uint8_t* buffer, int size) {
  if (size <= 0) return 0;
  CommTimeouts t;
  GetTimeouts(t);
  ssize_t n = Io().Read(fd_, buffer, static_cast<size_t>(size));
  if (n < 0 && errno != EAGAIN && errno != EINTR) {
    lastError_ = errno;
    return -1;
  }
  int got = n > 0 ? static_cast<int>(n) : 0;
  if (t.readInterval == kMaxDword && t.readTotalMultiplier == 0 && t.readTotalConstant == 0)
    return got;

  const uint64_t total =
      uint64_t{t.readTotalMultiplier} * static_cast<uint64_t>(size) + t.readTotalConstant;
  const uint64_t deadline = NowMs() + total;
  while (got < size) {
    const uint64_t now = NowMs();
    int wait;
    if (got == 0) {
      if (total == 0)
        wait = -1;
      else if (now >= deadline)
        break;
      else
        wait = static_cast<int>(deadline - now);
    } else {
      if (t.readInterval == 0 || t.readInterval == kMaxDword) break;
      wait = static_cast<int>(t.readInterval);
      if (total && now + static_cast<uint64_t>(wait) > deadline) {
        if (now >= deadline) break;
        wait = static_cast<int>(deadline - now);
      }
    }
    short events = PollFor(fd_, POLLIN, wait);
    if (!(events & POLLIN)) {
      if (events & (POLLHUP | POLLERR)) {
        lastError_ = EIO;
        return got > 0 ? got : -1;
      }
      if (got == 0 && total == 0) continue;
      break;
    }
    n = Io().Read(fd_, buffer + got, static_cast<size_t>(size - got));
    if (n > 0)
      got += static_cast<int>(n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      lastError_ = errno;
      return got > 0 ? got : -1;
    }
  }
  return got;
}

int FdPort::Write(const uint8_t* data, int size, uint32_t waitMs) {
  if (size <= 0) return 0;
  uint64_t limit = waitMs;
  if (limit == 0) {
    CommTimeouts t;
    GetTimeouts(t);
    limit = uint64_t{t.writeTotalMultiplier} * static_cast<uint64_t>(size) + t.writeTotalConstant;
  }
  const uint64_t deadline = NowMs() + limit;
  int done = 0;
  while (done < size) {
    ssize_t n = Io().Write(fd_, data + done, static_cast<size_t>(size - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      lastError_ = errno;
      return done > 0 ? done : -1;
    }
    int wait = -1;
    if (limit) {
      const uint64_t now = NowMs();
      if (now >= deadline) {
        lastError_ = ETIMEDOUT;
        break;
      }
      wait = static_cast<int>(deadline - now);
    }
    // A hang-up (the application closed its end of the pair, the device went
    // away) never makes room: polling on would spin.
    short events = PollFor(fd_, POLLOUT, wait);
    if (events & (POLLERR | POLLNVAL | POLLHUP)) {
      lastError_ = EIO;
      return done > 0 ? done : -1;
    }
    if (events == 0) {
      lastError_ = ETIMEDOUT;
      break;
    }
  }
  return done;
}

// The Windows serial driver completes a write once its bytes are sent; a
// tty's write() returns once they are queued. So wait for the output queue
// to drain too, and cancel (flush) what has not left when the wait runs out.
// The port's write time-outs, when set, end the write early as finished.
WriteResult FdPort::WriteWithin(const uint8_t* data, int size, uint32_t waitMs) {
  if (size <= 0) return {0, true};
  CommTimeouts t;
  GetTimeouts(t);
  const uint64_t portLimit =
      uint64_t{t.writeTotalMultiplier} * static_cast<uint64_t>(size) + t.writeTotalConstant;
  const uint64_t start = NowMs();
  const uint64_t waitDeadline = start + waitMs;
  const bool portFirst = portLimit != 0 && portLimit <= waitMs;
  const uint64_t deadline = portFirst ? start + portLimit : waitDeadline;
  int done = 0;
  while (done < size) {
    ssize_t n = Io().Write(fd_, data + done, static_cast<size_t>(size - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      lastError_ = errno;
      return {done, false};
    }
    const uint64_t now = NowMs();
    if (now >= deadline) break;
    short events = PollFor(fd_, POLLOUT, static_cast<int>(deadline - now));
    if (events & (POLLERR | POLLNVAL | POLLHUP)) {
      lastError_ = EIO;
      return {done, false};
    }
    // Printer devices without poll support report "writable" at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const int unsent = WaitDrained(deadline);
  if (done == size && unsent == 0) return {done, true};
  // Cancelled: what is still queued never goes out.
  if (unsent > 0) Io().Tcflush(fd_, TCOFLUSH);
  if (!portFirst) lastError_ = ETIMEDOUT;
  return {done - unsent, portFirst};
}

bool FdPort::WaitReadable(uint32_t timeoutMs) {
  if (QueuedInput() > 0) return true;
  short events = PollFor(fd_, POLLIN, static_cast<int>(timeoutMs));
  if (events & POLLIN) return true;
  // A hung-up pseudo-terminal reports POLLHUP at once; do not turn that
  // into a busy loop for the caller.
  if (events & POLLHUP)
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs < 20 ? timeoutMs : 20));
  return false;
}

int FdPort::WaitDrained(uint64_t deadline) {
  for (;;) {
    int queued = 0;
    if (Io().Ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return 0;
    const uint64_t now = NowMs();
    if (now >= deadline) return queued;
    std::this_thread::sleep_for(std::chrono::milliseconds(deadline - now < 2 ? 1 : 2));
  }
}

namespace {

// A real device (or the application side of someone else's pseudo-terminal).
class TtyPort : public FdPort {
 public:
  using FdPort::FdPort;

  // Clearing the output throws away only what has not left yet. On a
  // pseudo-terminal written bytes have left at once, and TCOFLUSH would
  // discard them from the other side's input before it reads them.
  bool Purge(unsigned flags) override {
    if ((flags & kPurgeTxClear) && QueuedOutput() == 0) flags &= ~unsigned{kPurgeTxClear};
    return FdPort::Purge(flags);
  }

  bool GetLineSettings(LineSettings& s) override {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) {
      lastError_ = errno;
      return false;
    }
    s.baudRate = BaudFor(cfgetospeed(&t));
    s.dataBits = (t.c_cflag & CSIZE) == CS8 ? 8 : (t.c_cflag & CSIZE) == CS7 ? 7 : 5;
    s.parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 1 : 2) : 0;
    s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    s.ctsFlow = (t.c_cflag & CRTSCTS) != 0;
    s.xonXoffOut = (t.c_iflag & IXON) != 0;
    s.xonXoffIn = (t.c_iflag & IXOFF) != 0;
    return true;
  }

  bool SetLineSettings(const LineSettings& s) override {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) {
      lastError_ = errno;
      return false;
    }
    speed_t speed = SpeedFor(s.baudRate);
    if (speed == 0) return false;
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= s.dataBits == 7 ? CS7 : CS8;
    if (s.parity == 1) t.c_cflag |= PARENB | PARODD;
    if (s.parity == 2) t.c_cflag |= PARENB;
    if (s.stopBits == 2) t.c_cflag |= CSTOPB;
    if (s.ctsFlow) t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (s.xonXoffOut) t.c_iflag |= IXON;
    if (s.xonXoffIn) t.c_iflag |= IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) {
      lastError_ = errno;
      return false;
    }
    int lines = (s.dtrEnable ? TIOCM_DTR : 0) | (s.rtsEnable ? TIOCM_RTS : 0);
    int off = (TIOCM_DTR | TIOCM_RTS) & ~lines;
    // Pseudo-terminals have no modem lines; that is not a failure of the set-up.
    if (lines) Io().Ioctl(fd_, TIOCMBIS, &lines);
    if (off) Io().Ioctl(fd_, TIOCMBIC, &off);
    return true;
  }

  // A pseudo-terminal or a printer device has no modem lines: TIOCMGET fails
  // and the lines are unknown.
  bool GetModemStatus(ModemStatus& status) override {
    int lines = 0;
    if (Io().Ioctl(fd_, TIOCMGET, &lines) != 0) return false;
    status.cts = lines & TIOCM_CTS;
    status.dsr = lines & TIOCM_DSR;
    status.ring = lines & TIOCM_RNG;
    status.rlsd = lines & TIOCM_CD;
    return true;
  }
};

// errno of the calling thread's last failed open.
thread_local int tOpenError = 0;

class PosixSerialPorts : public SerialPorts {
 public:
  explicit PosixSerialPorts(std::string mapDirectory) : mapDirectory_(std::move(mapDirectory)) {}

  std::unique_ptr<SerialPort> Open(const std::string& devicePath, bool overlapped) override {
    std::string ignored;
    return OpenOrSayWhy(devicePath, overlapped, ignored);
  }

  std::unique_ptr<SerialPort> OpenOrSayWhy(const std::string& devicePath, bool,
                                           std::string& whyNot) override {
    PortEntry entry =
        ResolvePort(devicePath, mapDirectory_.empty() ? PortMapDirectory() : mapDirectory_);
    std::unique_ptr<SerialPort> port;
    switch (entry.kind) {
      case PortEntry::kPairRelayEnd:
        port = OpenPairRelayEnd(entry, &whyNot);
        if (!port) tOpenError = EIO;
        break;
      case PortEntry::kDevice:
        port = OpenDevicePath(entry.target, &whyNot);
        if (!port && !entry.link.empty())
          whyNot = entry.path + " -> " + entry.link + ": " + whyNot;
        else if (!port)
          whyNot = entry.path + ": " + whyNot;
        break;
      default:
        whyNot = entry.whyMissing;
        tOpenError = ENOENT;
        break;
    }
    return port;
  }

  std::unique_ptr<PortSignals> NewPortSignals() override { return NewPollPortSignals(); }

  int LastError() override { return tOpenError; }

 private:
  std::string mapDirectory_;
};

}  // namespace

std::unique_ptr<SerialPort> OpenDevicePath(const std::string& path, std::string* whyNot) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    tOpenError = errno;
    if (whyNot) *whyNot = std::strerror(tOpenError);
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    tOpenError = EWOULDBLOCK;
    if (whyNot) *whyNot = DescribeOsError(tOpenError);
    close(fd);
    return nullptr;
  }
  return std::make_unique<TtyPort>(fd);
}

int LastOpenError() { return tOpenError; }

SerialPorts& NewSerialPorts() {
  static PosixSerialPorts ports("");
  return ports;
}

std::unique_ptr<SerialPorts> MakeSerialPorts(const std::string& mapDirectory) {
  return std::make_unique<PosixSerialPorts>(mapDirectory);
}

}  // namespace platform::posix
