// POSIX clock: CLOCK_MONOTONIC milliseconds (wrapping at 32 bits like
// timeGetTime), local time with milliseconds, and nanosleep.
#include <cerrno>
#include <ctime>

#include "platform/posix/native.h"

namespace platform::posix {

uint32_t PosixClock::NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void PosixClock::SleepMs(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}

LocalTime PosixClock::LocalNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t{};
  localtime_r(&ts.tv_sec, &t);
  return LocalTime{t.tm_year + 1900,
                   t.tm_mon + 1,
                   t.tm_mday,
                   t.tm_hour,
                   t.tm_min,
                   t.tm_sec,
                   static_cast<int>(ts.tv_nsec / 1000000L)};
}

}  // namespace platform::posix
