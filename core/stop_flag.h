// The relay worker's stop flag: 0 = run, any other value asks the worker to
// end. Setting it also wakes the worker from its wait on the relay ends, so
// a stop is seen at once rather than at the end of the wait.
#pragma once

#include <atomic>

#include "platform/port_wait.h"

namespace core {

class StopFlag {
 public:
  StopFlag& operator=(int value) {
    value_.store(value);
    if (value != 0)
      if (platform::PortWait* wait = wake_.load()) wait->Wake();
    return *this;
  }
  int load() const { return value_.load(); }
  // The flag itself, for the pop-ups that a stop request dismisses.
  const std::atomic<int>* flag() const { return &value_; }
  // The wait a stop request wakes (null: none). Set while no worker runs.
  void WakeOnStop(platform::PortWait* wait) { wake_.store(wait); }

 private:
  std::atomic<int> value_{0};
  std::atomic<platform::PortWait*> wake_{nullptr};
};

}  // namespace core
