// PortWait: the time keeping of a wait on the relay ends (port_wait.h).
#include "platform/port_wait.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {
namespace {

class SleepingPortSignals : public PortSignals {
 public:
  int Block(std::span<SerialPort* const> ports, std::span<const uint8_t> polled,
            uint32_t timeoutMs) override {
    // Hand each port back once, so the caller polls all of them.
    for (size_t i = 0; i < ports.size(); ++i)
      if (ports[i] && !polled[i]) return static_cast<int>(i);
    std::unique_lock<std::mutex> lock(lock_);
    if (!woken_) wake_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return woken_; });
    if (!woken_) return kTimeUp;
    woken_ = false;
    return kWoken;
  }
  void Wake() override {
    std::lock_guard<std::mutex> g(lock_);
    woken_ = true;
    wake_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool woken_ = false;
};

}  // namespace

std::unique_ptr<PortSignals> NewSleepingPortSignals() {
  return std::make_unique<SleepingPortSignals>();
}

std::unique_ptr<PortSignals> SerialPorts::NewPortSignals() { return NewSleepingPortSignals(); }

PortWait::PortWait(Clock& clock, std::unique_ptr<PortSignals> signals)
    : clock_(clock), signals_(std::move(signals)) {}

bool PortWait::AnyInput(std::span<SerialPort* const> ports) const {
  for (SerialPort* port : ports)
    if (port && port->QueuedInput() > 0) return true;
  return false;
}

bool PortWait::AnyPolled(std::span<SerialPort* const> ports) const {
  for (size_t i = 0; i < ports.size(); ++i)
    if (ports[i] && polled_[i]) return true;
  return false;
}

WaitEnd PortWait::Wait(std::span<SerialPort* const> ports, uint32_t timeoutMs, uint32_t pollMs) {
  polled_.assign(ports.size(), 0);
  emptyEnds_.assign(ports.size(), 0);
  if (pollMs == 0) pollMs = 1;
  const uint32_t start = clock_.NowMs();
  for (;;) {
    if (AnyInput(ports)) return WaitEnd::kInput;
    const uint32_t waited = clock_.NowMs() - start;
    if (waited >= timeoutMs) return WaitEnd::kTimeUp;
    uint32_t slice = timeoutMs - waited;
    if (slice > pollMs && AnyPolled(ports)) slice = pollMs;
    const int end = signals_->Block(ports, polled_, slice);
    if (end == PortSignals::kWoken) return WaitEnd::kWoken;
    if (end < 0 || static_cast<size_t>(end) >= ports.size() || !ports[end]) continue;
    // A port that ends a block without input once may have reported input
    // already read (a late event); one that does it again (hung up, failing,
    // or its driver ends waits by itself) would end every block at once.
    const size_t i = static_cast<size_t>(end);
    if (ports[i]->QueuedInput() <= 0 && ++emptyEnds_[i] >= 2) polled_[i] = 1;
  }
}

}  // namespace platform
