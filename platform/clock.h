// Implemented by platform/win32/clock.cpp and platform/posix/clock.cpp.
// The clock every waiting algorithm takes from its owner: milliseconds that
// wrap like timeGetTime, the local calendar time for the log, and sleeping.
// Tests hand in a fake that advances only when asked to.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; compare as unsigned differences.
  virtual uint32_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  virtual LocalTime LocalNow() = 0;
};

}  // namespace platform
