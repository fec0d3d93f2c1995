// The real POSIX calls behind the seam (see os_calls.h).
#include "platform/posix/os_calls.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

namespace platform::posix {
namespace {

OsCalls& RealCalls() {
  static OsCalls real;
  return real;
}

std::atomic<OsCalls*>& Installed() {
  static std::atomic<OsCalls*> installed{&RealCalls()};
  return installed;
}

}  // namespace

ssize_t OsCalls::Read(int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); }

ssize_t OsCalls::Write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

int OsCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  return ::poll(fds, count, timeoutMs);
}

int OsCalls::Ioctl(int fd, unsigned long request, int* value) {
  return ::ioctl(fd, request, value);
}

int OsCalls::Tcflush(int fd, int queue) { return ::tcflush(fd, queue); }

int OsCalls::Connect(int fd, const sockaddr* address, socklen_t length) {
  return ::connect(fd, address, length);
}

int OsCalls::Select(int count, fd_set* readable, fd_set* writable, fd_set* failed,
                    timeval* timeout) {
  return ::select(count, readable, writable, failed, timeout);
}

int OsCalls::GetSockOpt(int fd, int level, int option, void* value, socklen_t* length) {
  return ::getsockopt(fd, level, option, value, length);
}

int OsCalls::GetPeerName(int fd, sockaddr* address, socklen_t* length) {
  return ::getpeername(fd, address, length);
}

ssize_t OsCalls::Send(int fd, const void* data, size_t size, int flags) {
  return ::send(fd, data, size, flags);
}

ssize_t OsCalls::Recv(int fd, void* buffer, size_t size, int flags) {
  return ::recv(fd, buffer, size, flags);
}

OsCalls& Os() { return *Installed().load(); }

ScopedOsCalls::ScopedOsCalls(OsCalls& calls) : previous_(Installed().exchange(&calls)) {}

ScopedOsCalls::~ScopedOsCalls() { Installed().store(previous_); }

}  // namespace platform::posix
