// POSIX sockets with the behaviour of the Winsock calls the links make. Read
// side by side with platform/win32/sockets.cpp: same calls, same order.
// Differences from Winsock are stated where they are made.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/io_calls.h"
#include "platform/posix/native.h"

namespace platform::posix {

namespace {

thread_local int lastError = 0;

int Fail() {
  lastError = errno;
  return kSocketError;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

int SetTimeoutOption(SocketHandle s, int option, uint32_t ms) {
  timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
  return ::setsockopt(static_cast<int>(s), SOL_SOCKET, option, &tv, sizeof tv) == 0 ? 0 : Fail();
}

class PosixSockets : public Sockets {
 public:
  // There is nothing to start: the socket layer is always there.
  int Startup(SocketVersion wanted, SocketVersion& granted) override {
    granted = wanted;
    return 0;
  }

  SocketHandle OpenStream() override {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      lastError = errno;
      return kInvalidSocket;
    }
    return fd;
  }

  int SetReceiveTimeout(SocketHandle s, uint32_t ms) override {
    return SetTimeoutOption(s, SO_RCVTIMEO, ms);
  }

  // Winsock's SO_SNDBUF 0 means "send straight from the caller's buffer", not
  // a tiny buffer; Linux would clamp 0 to its minimum and crawl, so the
  // kernel's own size is kept.
  int SetSendBufferSize(SocketHandle /*s*/, int /*bytes*/) override { return 0; }

  int SetNoDelay(SocketHandle s, bool on) override {
    const int value = on ? 1 : 0;
    return ::setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0
               ? 0
               : Fail();
  }

  int SetSendTimeout(SocketHandle s, uint32_t ms) override {
    return SetTimeoutOption(s, SO_SNDTIMEO, ms);
  }

  int SetNonBlocking(SocketHandle s, bool on) override {
    const int fd = static_cast<int>(s);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return Fail();
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, wanted) == 0 ? 0 : Fail();
  }

  // A refusal that Linux reports at once on loopback is reported like
  // Winsock does: the attempt "would block" and WaitWritable sees it fail.
  int Connect(SocketHandle s, const Ipv4Peer& peer) override {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(peer.port);
    address.sin_addr.s_addr = htonl(peer.address);
    if (Io().Connect(static_cast<int>(s), reinterpret_cast<const sockaddr*>(&address),
                     sizeof address) == 0)
      return 0;
    lastError = errno;
    if (errno == EINPROGRESS || errno == ECONNREFUSED || WouldBlock(errno)) {
      return kSocketWouldBlock;
    }
    return kSocketError;
  }

  int WaitWritable(SocketHandle s, uint32_t timeoutMs) override {
    const int fd = static_cast<int>(s);
    if (fd < 0 || fd >= FD_SETSIZE) {
      lastError = EBADF;
      return kSocketError;
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(fd, &writable);
    timeval tv{static_cast<time_t>(timeoutMs / 1000),
               static_cast<suseconds_t>((timeoutMs % 1000) * 1000)};
    const int n = Io().Select(fd + 1, nullptr, &writable, nullptr, &tv);
    if (n < 0) return Fail();
    if (n == 0) {
      lastError = ETIMEDOUT;
      return 0;
    }
    // Linux also reports a failed connect as writable, and a socket whose
    // connect was refused at once as writable with no error; Winsock does not.
    int error = 0;
    socklen_t length = sizeof error;
    if (Io().GetSockOpt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return Fail();
    if (error != 0) {
      lastError = error;
      return 0;
    }
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    if (Io().GetPeerName(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
      lastError = errno;
      return 0;
    }
    return 1;
  }

  // MSG_NOSIGNAL: a printer that closed the connection must not end the
  // program with SIGPIPE.
  int Send(SocketHandle s, const uint8_t* data, int length) override {
    const ssize_t n =
        Io().Send(static_cast<int>(s), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    lastError = errno;
    return WouldBlock(errno) ? kSocketWouldBlock : kSocketError;
  }

  int Receive(SocketHandle s, uint8_t* buffer, int size) override {
    const ssize_t n = Io().Recv(static_cast<int>(s), buffer, static_cast<size_t>(size), 0);
    if (n >= 0) return static_cast<int>(n);
    lastError = errno;
    return WouldBlock(errno) ? kSocketWouldBlock : kSocketError;
  }

  int Close(SocketHandle s) override { return ::close(static_cast<int>(s)) == 0 ? 0 : Fail(); }

  bool ParseIpv4(const std::string& dotted, uint32_t& address) override {
    const in_addr_t parsed = ::inet_addr(dotted.c_str());
    address = ntohl(parsed);
    return parsed != INADDR_NONE;
  }

  int LastError() override { return lastError; }
};

}  // namespace

Sockets& NewSockets() {
  static PosixSockets sockets;
  return sockets;
}

}  // namespace platform::posix
