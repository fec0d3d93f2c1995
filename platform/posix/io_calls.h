// The POSIX calls on the serial and socket I/O paths (serial_port.cpp,
// pty_relay_port.cpp, sockets.cpp), behind one thin seam: the code calls
// Io().Read(...) where it would call read(...). The real calls are the
// default; a test installs its own for a scope and makes any of them fail on
// demand (EINTR, EAGAIN, a short write, a hang-up), branches that real
// devices reach only by chance. Each call returns and sets errno as the
// system call it stands for.
#pragma once

#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>

namespace platform::posix {

class IoCalls {
 public:
  virtual ~IoCalls() = default;

  virtual ssize_t Read(int fd, void* buffer, size_t size);
  virtual ssize_t Write(int fd, const void* data, size_t size);
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
  // ioctl with an int argument: FIONREAD, TIOCOUTQ, TIOCMGET, TIOCMBIS, TIOCMBIC.
  virtual int Ioctl(int fd, unsigned long request, int* value);
  virtual int Tcflush(int fd, int queue);

  virtual int Connect(int fd, const sockaddr* address, socklen_t length);
  virtual int Select(int count, fd_set* readable, fd_set* writable, fd_set* failed,
                     timeval* timeout);
  virtual int GetSockOpt(int fd, int level, int option, void* value, socklen_t* length);
  virtual int GetPeerName(int fd, sockaddr* address, socklen_t* length);
  virtual ssize_t Send(int fd, const void* data, size_t size, int flags);
  virtual ssize_t Recv(int fd, void* buffer, size_t size, int flags);
};

// The calls in use: the real ones unless a test installed others.
IoCalls& Io();

// Installs `calls` for the object's life; the ones before come back after.
// Install before the code under test starts any thread that makes the calls.
class ScopedIoCalls {
 public:
  explicit ScopedIoCalls(IoCalls& calls);
  ~ScopedIoCalls();
  ScopedIoCalls(const ScopedIoCalls&) = delete;
  ScopedIoCalls& operator=(const ScopedIoCalls&) = delete;

 private:
  IoCalls* previous_;
};

}  // namespace platform::posix
