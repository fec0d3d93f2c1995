// The blocking part of the relay worker's wait on POSIX (port_wait.h): one
// poll over the ports' wait descriptors and an eventfd that Wake writes to.
// Read side by side with platform/win32/port_signals.cpp.
#include "platform/posix/port_signals.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/posix/fd_port.h"
#include "platform/posix/io_calls.h"

namespace platform::posix {
namespace {

class PollPortSignals : public PortSignals {
 public:
  PollPortSignals() : wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~PollPortSignals() override {
    if (wake_ >= 0) close(wake_);
  }
  PollPortSignals(const PollPortSignals&) = delete;
  PollPortSignals& operator=(const PollPortSignals&) = delete;

  int Block(std::span<SerialPort* const> ports, std::span<const uint8_t> polled,
            uint32_t timeoutMs) override {
    fds_.clear();
    indices_.clear();
    ownFds_.clear();
    fds_.push_back({wake_, POLLIN, 0});
    for (size_t i = 0; i < ports.size(); ++i) {
      if (!ports[i] || polled[i]) continue;
      auto* port = dynamic_cast<FdPort*>(ports[i]);
      if (!port) return static_cast<int>(i);  // not a descriptor: polled instead
      fds_.push_back({port->WaitDescriptor(), POLLIN, 0});
      indices_.push_back(static_cast<int>(i));
      ownFds_.push_back(port->fd());
    }
    const int r = Io().Poll(fds_.data(), fds_.size(), static_cast<int>(timeoutMs));
    if (r < 0) {
      // Poll itself failing (not an interruption) would fail again at once:
      // sleep out the time instead of returning to a caller that loops.
      if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
      return kTimeUp;
    }
    if (r == 0) return kTimeUp;
    if (fds_[0].revents) {
      uint64_t count = 0;
      ssize_t ignored = read(wake_, &count, sizeof count);
      (void)ignored;
      return kWoken;
    }
    for (size_t k = 1; k < fds_.size(); ++k) {
      if (!fds_[k].revents) continue;
      // A state change only: the caller looks at the port again.
      if (fds_[k].fd != ownFds_[k - 1]) return kTimeUp;
      return indices_[k - 1];
    }
    return kTimeUp;
  }

  void Wake() override {
    const uint64_t one = 1;
    ssize_t ignored = write(wake_, &one, sizeof one);
    (void)ignored;
  }

 private:
  const int wake_;
  std::vector<pollfd> fds_;
  std::vector<int> indices_;
  std::vector<int> ownFds_;
};

}  // namespace

std::unique_ptr<PortSignals> NewPollPortSignals() { return std::make_unique<PollPortSignals>(); }

}  // namespace platform::posix
