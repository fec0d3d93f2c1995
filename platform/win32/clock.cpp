// Win32 clock: timeGetTime, GetLocalTime and Sleep.
#include <windows.h>

#include <mmsystem.h>

#include "platform/win32/native.h"

namespace platform::win32 {

uint32_t WinClock::NowMs() { return timeGetTime(); }

void WinClock::SleepMs(uint32_t ms) { Sleep(ms); }

LocalTime WinClock::LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return LocalTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                   st.wMinute, st.wSecond, st.wMilliseconds};
}

}  // namespace platform::win32
