// The relay end of a virtual port pair (see pty_relay_port.h). "DSR on" at
// the relay end means the application has its end open; a lock file beside
// the port map entry keeps the relay end to one process.
#include "platform/posix/pty_relay_port.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/posix/fd_port.h"
#include "platform/posix/io_calls.h"

namespace platform::posix {
namespace {

// The relay end of a virtual pair: the master of a pseudo-terminal whose slave
// is the application's port. "DSR on" means the application has its end open,
// which the master sees as the absence of a hang-up.
class PtyRelayPort : public FdPort {
 public:
  PtyRelayPort(int fd, int lockFd, std::string appLink, std::string slave)
      : FdPort(fd),
        lockFd_(lockFd),
        appLink_(std::move(appLink)),
        slave_(std::move(slave)),
        opens_(WatchOpens(slave_)) {}

  ~PtyRelayPort() override {
    char target[256] = {};
    ssize_t n = readlink(appLink_.c_str(), target, sizeof target - 1);
    if (n > 0 && slave_ == std::string(target, static_cast<size_t>(n))) unlink(appLink_.c_str());
    if (lockFd_ >= 0) close(lockFd_);
    if (opens_ >= 0) close(opens_);
  }

  // While the application has its end closed the master reports a hang-up
  // on every poll, so a wait on it would end at once: wait for the
  // application end to be opened instead.
  int WaitDescriptor() override {
    if (opens_ < 0 || !HungUp()) return fd_;
    char events[256];
    while (read(opens_, events, sizeof events) > 0) {
    }
    return HungUp() ? opens_ : fd_;
  }

  // The pseudo-terminal is made for this open, and the application reaches it
  // only through the link made with it: whatever its input holds was written
  // by the application since. An application may write the moment its end
  // appears, before the relay has set its end up and cleared it, so the
  // input is kept: it is the start of a job.
  bool Purge(unsigned flags) override { return FdPort::Purge(flags & ~unsigned{kPurgeRxClear}); }

  // A virtual port accepts any line settings; they are only remembered.
  bool GetLineSettings(LineSettings& s) override {
    std::lock_guard<std::mutex> g(lock_);
    s = line_;
    return true;
  }
  bool SetLineSettings(const LineSettings& s) override {
    std::lock_guard<std::mutex> g(lock_);
    line_ = s;
    return true;
  }

  bool GetModemStatus(ModemStatus& status) override {
    pollfd p{fd_, POLLIN, 0};
    if (Io().Poll(&p, 1, 0) < 0) return false;
    const bool applicationOpen = !(p.revents & POLLHUP);
    status.dsr = applicationOpen;
    status.cts = applicationOpen;
    status.rlsd = applicationOpen;
    status.ring = false;
    return true;
  }

 private:
  // Hung up with nothing left to read: no application holds its end.
  bool HungUp() {
    pollfd p{fd_, POLLIN, 0};
    return Io().Poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN);
  }

  // A descriptor that becomes readable whenever the application end is opened.
  static int WatchOpens(const std::string& slave) {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0 && inotify_add_watch(fd, slave.c_str(), IN_OPEN) < 0) {
      close(fd);
      fd = -1;
    }
    return fd;
  }

  int lockFd_;
  std::string appLink_;
  std::string slave_;
  int opens_;
  std::mutex lock_;
  LineSettings line_{};
};

// Holds an exclusive lock on "<entry>.lock" for the life of the open port.
int LockEntry(const std::string& entryPath) {
  std::string lockPath = entryPath;
  size_t slash = lockPath.rfind('/');
  lockPath.insert(slash + 1, ".");
  lockPath += ".lock";
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -2;
  }
  return fd;
}

}  // namespace

std::unique_ptr<SerialPort> OpenPairRelayEnd(const PortEntry& entry, std::string* whyNot) {
  auto fail = [whyNot](const std::string& why) {
    if (whyNot) *whyNot = why;
    return nullptr;
  };
  int lockFd = LockEntry(entry.path);
  if (lockFd == -2) return fail("the relay end is in use by another program");

  int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    const std::string why = std::string("no pseudo-terminal: ") + std::strerror(errno);
    if (master >= 0) close(master);
    if (lockFd >= 0) close(lockFd);
    return fail(why);
  }
  char slave[128] = {};
  ptsname_r(master, slave, sizeof slave);

  // Raw both ways: on Linux the master's termios calls act on the slave side,
  // so no echo or line editing ever touches the application's bytes.
  termios t{};
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  // A fresh pseudo-terminal does not report a hang-up until its slave has been
  // opened and closed once; do that so "no application" reads as DSR off.
  int s = open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s >= 0) close(s);

  const std::string dir = entry.path.substr(0, entry.path.rfind('/'));
  const std::string appLink = dir + "/" + entry.target;
  const std::string temp = appLink + ".new" + std::to_string(getpid());
  unlink(temp.c_str());
  if (symlink(slave, temp.c_str()) != 0 || rename(temp.c_str(), appLink.c_str()) != 0) {
    const std::string why = appLink + " cannot be made: " + std::strerror(errno);
    unlink(temp.c_str());
    close(master);
    if (lockFd >= 0) close(lockFd);
    return fail(why);
  }
  return std::make_unique<PtyRelayPort>(master, lockFd, appLink, slave);
}

}  // namespace platform::posix
