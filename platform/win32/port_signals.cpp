// The blocking part of the relay worker's wait on Windows (port_wait.h): an
// overlapped WaitCommEvent on each port and an event that Wake sets, in one
// WaitForMultipleObjects. Read side by side with platform/posix/port_signals.cpp.
#include "platform/win32/port_signals.h"

#include <windows.h>

#include <vector>

#include "platform/win32/input_wait.h"

namespace platform::win32 {
namespace {

class EventPortSignals : public PortSignals {
 public:
  EventPortSignals() : wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
  ~EventPortSignals() override {
    if (wake_) CloseHandle(wake_);
  }
  EventPortSignals(const EventPortSignals&) = delete;
  EventPortSignals& operator=(const EventPortSignals&) = delete;

  int Block(std::span<SerialPort* const> ports, std::span<const uint8_t> polled,
            uint32_t timeoutMs) override {
    handles_.clear();
    waits_.clear();
    indices_.clear();
    handles_.push_back(wake_);
    int end = kTimeUp;
    bool ended = false;
    for (size_t i = 0; i < ports.size() && !ended; ++i) {
      if (!ports[i] || polled[i]) continue;
      auto* wait = dynamic_cast<InputWait*>(ports[i]);
      HANDLE event =
          wait && handles_.size() < MAXIMUM_WAIT_OBJECTS ? wait->StartInputWait() : nullptr;
      if (event) {
        waits_.push_back(wait);
        indices_.push_back(static_cast<int>(i));
        handles_.push_back(event);
      }
      // A port that cannot wait is polled instead; and characters that came
      // before its wait began need not count as an event of that wait.
      if (!event || ports[i]->QueuedInput() > 0) {
        end = static_cast<int>(i);
        ended = true;
      }
    }
    if (!ended) {
      const DWORD count = static_cast<DWORD>(handles_.size());
      const DWORD r = WaitForMultipleObjects(count, handles_.data(), FALSE, timeoutMs);
      if (r == WAIT_OBJECT_0)
        end = kWoken;
      else if (r > WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + count)
        end = indices_[r - WAIT_OBJECT_0 - 1];
      else if (r == WAIT_FAILED)
        Sleep(timeoutMs);  // would fail again at once: do not let the caller spin
    }
    for (InputWait* wait : waits_) wait->EndInputWait();
    return end;
  }

  void Wake() override { SetEvent(wake_); }

 private:
  HANDLE wake_;
  std::vector<HANDLE> handles_;
  std::vector<InputWait*> waits_;
  std::vector<int> indices_;
};

}  // namespace

std::unique_ptr<PortSignals> NewEventPortSignals() { return std::make_unique<EventPortSignals>(); }

}  // namespace platform::win32
