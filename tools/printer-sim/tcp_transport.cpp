// TCP transport: listener, single connection, power off closes the port so
// that connects are refused.
#include "tools/printer-sim/tcp_transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "tools/printer-sim/fd_util.h"

namespace printersim {
namespace {

constexpr int kBacklog = 16;
constexpr int kSendTimeoutMs = 2000;
// How often a port that could not be reopened after power on is tried again.
constexpr std::chrono::milliseconds kListenRetry{500};

std::string PeerText(const sockaddr_storage& addr) {
  char host[INET6_ADDRSTRLEN] = "?";
  uint16_t port = 0;
  if (addr.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
    ::inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
    port = ntohs(in->sin_port);
    return std::string(host) + ":" + std::to_string(port);
  }
  if (addr.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
    port = ntohs(in6->sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
  }
  return host;
}

}  // namespace

bool SplitHostPort(std::string_view address, std::string* host, uint16_t* port) {
  const size_t colon = address.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view h = address.substr(0, colon);
  const std::string_view p = address.substr(colon + 1);
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), value);
  if (ec != std::errc() || end != p.data() + p.size() || p.empty() || value > 65535) return false;
  *host = std::string(h);
  *port = static_cast<uint16_t>(value);
  return !host->empty();
}

TcpTransport::TcpTransport(std::string address, int receive_window)
    : address_(std::move(address)), receive_window_(receive_window) {
  buf_.resize(kReadChunk);
}

TcpTransport::~TcpTransport() { Close(); }

int TcpTransport::Open(std::string* error) {
  if (!SplitHostPort(address_, &host_, &port_)) {
    *error = "bad TCP address '" + address_ + "' (want HOST:PORT)";
    return -1;
  }
  return Listen(error);
}

int TcpTransport::Listen(std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port_);
  const int rc = ::getaddrinfo(host_.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    *error = "cannot resolve '" + host_ + "': " + ::gai_strerror(rc);
    return -1;
  }
  std::string last_error = "no address";
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    int fd =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      last_error = ErrnoText("socket");
      continue;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Set before listen, so accepted connections inherit it and the window
    // scale is chosen for it.
    if (receive_window_ > 0)
      ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_window_, sizeof receive_window_);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, kBacklog) != 0) {
      last_error = ErrnoText("bind/listen");
      CloseFd(&fd);
      continue;
    }
    sockaddr_storage local{};
    socklen_t local_len = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len) == 0) {
      port_ = local.ss_family == AF_INET6
                  ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                  : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    }
    listen_fd_ = fd;
    break;
  }
  ::freeaddrinfo(list);
  if (listen_fd_ < 0) {
    *error = "cannot listen on " + Description().substr(4) + ": " + last_error;
    return -1;
  }
  return 0;
}

void TcpTransport::Close() {
  CloseFd(&conn_fd_);
  CloseFd(&listen_fd_);
}

std::string TcpTransport::Description() const {
  const bool v6 = host_.find(':') != std::string::npos;
  return "tcp " + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

void TcpTransport::Poll(int wake_fd, int timeout_ms, size_t max_read, TransportListener* listener) {
  if (powered_ && listen_fd_ < 0 && conn_fd_ < 0) RetryListen();
  pollfd fds[2] = {{wake_fd, POLLIN, 0}, {-1, POLLIN, 0}};
  // While a host is connected the listener is left alone: further connects
  // wait in the backlog, as on a single-session network printer. A full
  // receive buffer leaves the connection unread, so the host's window closes.
  fds[1].fd = conn_fd_ >= 0 ? (max_read > 0 ? conn_fd_ : -1) : listen_fd_;
  const int n = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, timeout_ms);
  if (n <= 0 || fds[1].fd < 0 || fds[1].revents == 0) return;
  if (conn_fd_ >= 0) {
    ReadConnection(max_read, listener);
  } else {
    Accept(listener);
  }
}

void TcpTransport::RetryListen() {
  const auto now = std::chrono::steady_clock::now();
  if (now < next_listen_try_) return;
  next_listen_try_ = now + kListenRetry;
  std::string error;
  Listen(&error);  // Already reported once at power on.
}

void TcpTransport::Accept(TransportListener* listener) {
  sockaddr_storage peer{};
  socklen_t peer_len = sizeof peer;
  const int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &peer_len,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
      listener->OnError(ErrnoText("accept"));
    }
    return;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  conn_fd_ = fd;
  listener->OnConnected(PeerText(peer));
}

void TcpTransport::ReadConnection(size_t max_read, TransportListener* listener) {
  const ssize_t n = ::read(conn_fd_, buf_.data(), std::min(buf_.size(), max_read));
  if (n > 0) {
    listener->OnData(buf_.data(), static_cast<size_t>(n));
    return;
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  DropConnection(listener);
}

void TcpTransport::DropConnection(TransportListener* listener) {
  if (conn_fd_ < 0) return;
  CloseFd(&conn_fd_);
  listener->OnDisconnected();
}

bool TcpTransport::Drop(TransportListener* listener) {
  DropConnection(listener);
  return true;
}

int TcpTransport::Send(const uint8_t* data, size_t len) {
  if (conn_fd_ < 0) return -1;
  return WriteAll(conn_fd_, data, len, kSendTimeoutMs, true);
}

long TcpTransport::SetPowered(bool on, TransportListener* listener) {
  if (on == powered_) return 0;
  powered_ = on;
  if (!on) {
    DropConnection(listener);
    CloseFd(&listen_fd_);  // Pending and new connects are now refused.
    return 0;
  }
  std::string error;
  if (Listen(&error) != 0) {
    listener->OnError(error + " (trying again)");
    next_listen_try_ = std::chrono::steady_clock::now() + kListenRetry;
    return -1;
  }
  return 0;
}

}  // namespace printersim
