// TcpProxy: one thread polls the listener and every joined pair of sockets.
#include "tests/support/tcp_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <utility>

namespace support {

TcpProxy::~TcpProxy() {
  if (thread_.joinable()) {
    const char stop = 's';
    (void)!write(wake_[1], &stop, 1);
    thread_.join();
  }
  for (int fd : {listener_, wake_[0], wake_[1]})
    if (fd >= 0) close(fd);
}

bool TcpProxy::Start(const std::string& ip, uint16_t port, const std::string& targetIp,
                     uint16_t targetPort) {
  targetIp_ = targetIp;
  targetPort_ = targetPort;
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 4) != 0 || pipe(wake_) != 0)
    return false;
  thread_ = std::thread(&TcpProxy::Run, this);
  return true;
}

void TcpProxy::DropClients() {
  {
    std::lock_guard<std::mutex> g(lock_);
    drop_ = true;
  }
  const char drop = 'd';
  (void)!write(wake_[1], &drop, 1);
}

bool TcpProxy::WaitAccepted(int count, int timeoutMs) {
  std::unique_lock<std::mutex> g(lock_);
  return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs),
                           [&] { return accepted_ >= count; });
}

void TcpProxy::Run() {
  std::vector<std::pair<int, int>> pairs;  // client, printer
  auto closePair = [](const std::pair<int, int>& p) {
    close(p.first);
    close(p.second);
  };
  for (;;) {
    std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    for (const auto& p : pairs) {
      fds.push_back({p.first, POLLIN, 0});
      fds.push_back({p.second, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents & POLLIN) {
      char what = 0;
      (void)!read(wake_[0], &what, 1);
      if (what == 's') break;
      std::lock_guard<std::mutex> g(lock_);
      if (drop_) {
        for (const auto& p : pairs) closePair(p);
        pairs.clear();
        drop_ = false;
      }
      continue;
    }
    if (fds[1].revents & POLLIN) {
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      const int printer = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in target{};
      target.sin_family = AF_INET;
      target.sin_port = htons(targetPort_);
      inet_pton(AF_INET, targetIp_.c_str(), &target.sin_addr);
      if (client >= 0 &&
          connect(printer, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
        pairs.emplace_back(client, printer);
        std::lock_guard<std::mutex> g(lock_);
        ++accepted_;
        changed_.notify_all();
      } else {
        if (client >= 0) close(client);
        close(printer);
      }
      continue;
    }
    for (size_t i = 0; i < pairs.size(); ++i) {
      const short from[2] = {fds[2 + 2 * i].revents, fds[3 + 2 * i].revents};
      const int ends[2] = {pairs[i].first, pairs[i].second};
      bool closed = false;
      for (int side = 0; side < 2 && !closed; ++side) {
        if (!(from[side] & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[4096];
        const ssize_t n = read(ends[side], buffer, sizeof buffer);
        closed = n <= 0 || write(ends[1 - side], buffer, static_cast<size_t>(n)) != n;
      }
      if (closed) {
        closePair(pairs[i]);
        pairs.erase(pairs.begin() + static_cast<long>(i));
        break;
      }
    }
  }
  for (const auto& p : pairs) closePair(p);
}

}  // namespace support
