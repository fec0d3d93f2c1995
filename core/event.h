// A manual-reset event: set once, seen by every waiter until reset.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace core {

class ManualResetEvent {
 public:
  void Set() {
    std::lock_guard<std::mutex> guard(lock_);
    set_ = true;
    changed_.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    set_ = false;
  }
  bool IsSet() {
    std::lock_guard<std::mutex> guard(lock_);
    return set_;
  }
  void Wait() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return set_; });
  }
  // True when the event was set within the time.
  bool WaitFor(uint32_t ms) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return set_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool set_ = false;
};

}  // namespace core
