// POSIX helpers for the transports.
#include "tools/printer-sim/fd_util.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace printersim {

int WriteAll(int fd, const uint8_t* data, size_t len, int timeout_ms, bool is_socket) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  size_t done = 0;
  while (done < len) {
    const ssize_t n = is_socket ? ::send(fd, data + done, len - done, MSG_NOSIGNAL)
                                : ::write(fd, data + done, len - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return -1;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
  return 0;
}

void WaitWake(int wake_fd, int timeout_ms) {
  pollfd p{wake_fd, POLLIN, 0};
  ::poll(&p, 1, timeout_ms);
}

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace printersim
