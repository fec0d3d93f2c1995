// The real POSIX calls behind the seam (see io_calls.h).
#include "platform/posix/io_calls.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

namespace platform::posix {
namespace {

IoCalls& RealCalls() {
  static IoCalls real;
  return real;
}

std::atomic<IoCalls*>& Installed() {
  static std::atomic<IoCalls*> installed{&RealCalls()};
  return installed;
}

}  // namespace

ssize_t IoCalls::Read(int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); }

ssize_t IoCalls::Write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

int IoCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  return ::poll(fds, count, timeoutMs);
}

int IoCalls::Ioctl(int fd, unsigned long request, int* value) {
  return ::ioctl(fd, request, value);
}

int IoCalls::Tcflush(int fd, int queue) { return ::tcflush(fd, queue); }

int IoCalls::Connect(int fd, const sockaddr* address, socklen_t length) {
  return ::connect(fd, address, length);
}

int IoCalls::Select(int count, fd_set* readable, fd_set* writable, fd_set* failed,
                    timeval* timeout) {
  return ::select(count, readable, writable, failed, timeout);
}

int IoCalls::GetSockOpt(int fd, int level, int option, void* value, socklen_t* length) {
  return ::getsockopt(fd, level, option, value, length);
}

int IoCalls::GetPeerName(int fd, sockaddr* address, socklen_t* length) {
  return ::getpeername(fd, address, length);
}

ssize_t IoCalls::Send(int fd, const void* data, size_t size, int flags) {
  return ::send(fd, data, size, flags);
}

ssize_t IoCalls::Recv(int fd, void* buffer, size_t size, int flags) {
  return ::recv(fd, buffer, size, flags);
}

IoCalls& Io() { return *Installed().load(); }

ScopedIoCalls::ScopedIoCalls(IoCalls& calls) : previous_(Installed().exchange(&calls)) {}

ScopedIoCalls::~ScopedIoCalls() { Installed().store(previous_); }

}  // namespace platform::posix
