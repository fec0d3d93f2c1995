// SerialClient (POSIX termios).
#include "tests/support/serial_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace support {

bool SerialClient::Open(const std::string& path, int baud) {
  Close();
  // Non-blocking so that a relay that stops taking bytes fails the write
  // after its time limit instead of hanging the test.
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios t{};
  if (tcgetattr(fd_, &t) == 0) {
    cfmakeraw(&t);
    speed_t speed = baud == 115200 ? B115200 : baud == 19200 ? B19200 : B9600;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd_, TCSANOW, &t);
  }
  return true;
}

bool SerialClient::OpenWhenPresent(const std::string& path, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (::access(path.c_str(), F_OK) == 0 && Open(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void SerialClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool SerialClient::Write(const std::vector<uint8_t>& bytes, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return false;
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
  }
  return true;
}

bool SerialClient::Write(const std::string& bytes, int timeoutMs) {
  return Write(std::vector<uint8_t>(bytes.begin(), bytes.end()), timeoutMs);
}

std::vector<uint8_t> SerialClient::Read(size_t count, int timeoutMs) {
  std::vector<uint8_t> out;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    uint8_t buffer[4096];
    ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

}  // namespace support
