// Test TCP client: non-blocking socket, poll() with deadlines.
#include "tests/sim/tcp_test_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace printersim {
namespace {

int MsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

int TcpTestClient::Connect(uint16_t port, std::chrono::milliseconds timeout) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return 0;
  if (errno != EINPROGRESS) {
    const int err = errno;
    Close();
    return err;
  }
  pollfd p{fd_, POLLOUT, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
    Close();
    return ETIMEDOUT;
  }
  int err = 0;
  socklen_t len = sizeof err;
  ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
  if (err != 0) Close();
  return err;
}

bool TcpTestClient::Send(const Bytes& data) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN && MsLeft(deadline) > 0) {
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, MsLeft(deadline));
    } else {
      return false;
    }
  }
  return true;
}

TcpTestClient::Bytes TcpTestClient::Read(size_t n, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Bytes out;
  while (out.size() < n && fd_ >= 0) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, MsLeft(deadline)) <= 0) break;
    uint8_t buf[4096];
    const ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
    if (got <= 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return out;
}

bool TcpTestClient::WaitClosed(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (fd_ >= 0) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, MsLeft(deadline)) <= 0) return false;
    uint8_t buf[4096];
    const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN)) return true;
  }
  return false;
}

void TcpTestClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

}  // namespace printersim
