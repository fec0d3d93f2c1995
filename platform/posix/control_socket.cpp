// The control socket (control_socket.h).
#include "platform/posix/control_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace platform::posix {
namespace {

// The socket's address: the path in the folder, or through the folder's
// descriptor when that path does not fit sun_path. `folderFd` is opened for
// the second and stays the caller's to close.
int AddressOf(const std::string& folder, const std::string& file, sockaddr_un& address,
              int& folderFd, std::string& path) {
  address = {};
  address.sun_family = AF_UNIX;
  path = folder + "/" + file;
  if (path.size() >= sizeof address.sun_path) {
    folderFd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return errno;
    path = "/proc/self/fd/" + std::to_string(folderFd) + "/" + file;
    if (path.size() >= sizeof address.sun_path) return ENAMETOOLONG;
  }
  path.copy(address.sun_path, path.size());
  return 0;
}

void SetTimeouts(int fd, int ms) {
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool SendAll(int fd, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

std::string ControlSocketName(const std::string& name) { return "." + name + ".control"; }

int ControlServer::Start(const std::string& folder, const std::string& name, std::size_t maxRequest,
                         Handler handler) {
  Stop();
  handler_ = std::move(handler);
  maxRequest_ = maxRequest;
  sockaddr_un address;
  int error = AddressOf(folder, ControlSocketName(name), address, folder_, path_);
  if (error == 0) {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) error = errno;
  }
  if (error == 0) {
    unlink(path_.c_str());  // a socket left by a relay that was killed
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        chmod(path_.c_str(), S_IRUSR | S_IWUSR) != 0 || listen(listener_, kBacklog) != 0 ||
        pipe2(wake_, O_CLOEXEC) != 0)
      error = errno;
  }
  if (error != 0) {
    Stop();
    return error;
  }
  thread_ = std::thread(&ControlServer::Serve, this);
  return 0;
}

void ControlServer::Stop() {
  if (thread_.joinable()) {
    const char stop = 0;
    if (write(wake_[1], &stop, 1) < 0) {
      // The pipe is ours and empty: a failure here cannot happen in practice.
    }
    thread_.join();
  }
  if (listener_ >= 0) unlink(path_.c_str());
  CloseFd(listener_);
  CloseFd(wake_[0]);
  CloseFd(wake_[1]);
  CloseFd(folder_);
}

void ControlServer::Serve() {
  for (;;) {
    pollfd watched[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    if ((watched[0].revents & POLLIN) == 0) continue;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    ServeOne(connection);
    close(connection);
  }
}

// A peer of another user never gets an answer. The request ends at its
// newline, at the peer's end of writing, or unanswered past the bound.
void ControlServer::ServeOne(int connection) {
  ucred peer{};
  socklen_t length = sizeof peer;
  if (getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != geteuid())
    return;
  SetTimeouts(connection, kIoTimeoutMs);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kIoTimeoutMs);
  std::string request;
  char buffer[256];
  while (request.find('\n') == std::string::npos) {
    if (request.size() > maxRequest_ || std::chrono::steady_clock::now() > deadline) return;
    const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;
    if (n == 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  const std::size_t end = request.find('\n');
  if (end != std::string::npos) request.resize(end);
  if (request.size() >= maxRequest_) return;
  SendAll(connection, handler_(request));
}

int AskControl(const std::string& folder, const std::string& name, const std::string& request,
               std::size_t maxAnswer, std::string& answer) {
  answer.clear();
  sockaddr_un address;
  int folderFd = -1;
  std::string path;
  int error = AddressOf(folder, ControlSocketName(name), address, folderFd, path);
  const int fd = error == 0 ? socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
  if (error == 0 && fd < 0) error = errno;
  if (error == 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    error = errno;
  // The relay may read the journal for a while: it answers within its own bounds.
  if (error == 0) SetTimeouts(fd, 10 * ControlServer::kIoTimeoutMs);
  if (error == 0 && !SendAll(fd, request)) error = errno ? errno : EPIPE;
  char buffer[4096];
  while (error == 0) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
    if (answer.size() > maxAnswer) error = EMSGSIZE;
  }
  if (fd >= 0) close(fd);
  if (folderFd >= 0) close(folderFd);
  return error;
}

}  // namespace platform::posix
