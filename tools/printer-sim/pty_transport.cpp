// Pseudo-terminal transport. A closed slave makes the master report POLLHUP
// and EIO; the device is then checked every few milliseconds instead of being
// spun on, and works again as soon as someone reopens it.
#include "tools/printer-sim/pty_transport.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "tools/printer-sim/fd_util.h"

namespace printersim {
namespace {

constexpr int kSendTimeoutMs = 2000;

short MasterEvents(int master) {
  pollfd p{master, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 ? p.revents : 0;
}

}  // namespace

PtyTransport::PtyTransport(std::string link_path) : link_(std::move(link_path)) {
  buf_.resize(kReadChunk);
}

PtyTransport::~PtyTransport() { Close(); }

int PtyTransport::Open(std::string* error) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    *error = ErrnoText("posix_openpt");
    CloseFd(&master_);
    return -1;
  }
  char name[PATH_MAX];
  if (::ptsname_r(master_, name, sizeof name) != 0) {
    *error = ErrnoText("ptsname");
    CloseFd(&master_);
    return -1;
  }
  device_ = name;
  // On Linux the master's termios calls act on the slave: without raw mode
  // echo and canonical input processing would mangle the binary stream.
  termios tio{};
  if (::tcgetattr(master_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(master_, TCSANOW, &tio);
  }
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  // A slave that was never opened looks "connected" to poll(); opening and
  // closing it once makes the master report the hang-up until a host opens it.
  const int probe = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (probe >= 0) ::close(probe);

  struct stat st {};
  if (::lstat(link_.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      *error = link_ + " exists and is not a symlink; not replacing it";
      CloseFd(&master_);
      return -1;
    }
    ::unlink(link_.c_str());  // Stale link of an earlier run.
  }
  if (::symlink(name, link_.c_str()) != 0) {
    *error = ErrnoText(("symlink " + link_).c_str());
    CloseFd(&master_);
    return -1;
  }
  connected_ = false;
  return 0;
}

void PtyTransport::Close() {
  if (master_ < 0) return;
  CloseFd(&master_);
  char target[PATH_MAX];
  const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
  if (n > 0 && device_ == std::string(target, static_cast<size_t>(n))) ::unlink(link_.c_str());
  connected_ = false;
}

std::string PtyTransport::Description() const { return "pty " + link_ + " " + device_; }

void PtyTransport::Poll(int wake_fd, int timeout_ms, size_t max_read, TransportListener* listener) {
  if (!powered_ || master_ < 0) {
    WaitWake(wake_fd, timeout_ms);
    return;
  }
  if (!connected_) {
    const short ev = MasterEvents(master_);
    if ((ev & POLLHUP) && !(ev & POLLIN)) {
      WaitWake(wake_fd, std::min(timeout_ms, kHangupPollMs));
      return;
    }
    connected_ = true;
    listener->OnConnected(device_);
  }
  if (max_read == 0) {  // Receive buffer full: the host's bytes wait in the queue.
    WaitWake(wake_fd, timeout_ms);
    return;
  }
  pollfd fds[2] = {{wake_fd, POLLIN, 0}, {master_, POLLIN, 0}};
  if (::poll(fds, 2, timeout_ms) <= 0) return;
  if (fds[1].revents & POLLIN) {
    const ssize_t n = ::read(master_, buf_.data(), std::min(buf_.size(), max_read));
    if (n > 0) {
      listener->OnData(buf_.data(), static_cast<size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      Hangup(listener);
    }
  } else if (fds[1].revents & (POLLHUP | POLLERR)) {
    Hangup(listener);
  }
}

void PtyTransport::Hangup(TransportListener* listener) {
  if (!connected_) return;
  connected_ = false;
  FlushDeviceInput();
  listener->OnDisconnected();
}

void PtyTransport::FlushDeviceInput() {
  const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  ::tcflush(fd, TCIFLUSH);
  ::close(fd);
}

int PtyTransport::Send(const uint8_t* data, size_t len) {
  if (!connected_ || !powered_) return -1;
  return WriteAll(master_, data, len, kSendTimeoutMs, false);
}

long PtyTransport::SetPowered(bool on, TransportListener* listener) {
  if (on == powered_) return 0;
  powered_ = on;
  if (!on) return 0;
  // What the host sent to the switched-off printer is lost.
  long discarded = 0;
  for (;;) {
    const ssize_t n = ::read(master_, buf_.data(), buf_.size());
    if (n > 0) {
      discarded += n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EIO) Hangup(listener);
    break;
  }
  return discarded;
}

}  // namespace printersim
