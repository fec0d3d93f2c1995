// The real Windows calls behind the seam (see io_calls.h).
#include "platform/win32/io_calls.h"

#include <atomic>

namespace platform::win32 {
namespace {

IoCalls& RealCalls() {
  static IoCalls real;
  return real;
}

std::atomic<IoCalls*>& Installed() {
  static std::atomic<IoCalls*> installed{&RealCalls()};
  return installed;
}

}  // namespace

BOOL IoCalls::ReadFile(HANDLE h, void* buffer, DWORD size, DWORD* read, OVERLAPPED* ov) {
  return ::ReadFile(h, buffer, size, read, ov);
}

BOOL IoCalls::WriteFile(HANDLE h, const void* data, DWORD size, DWORD* written, OVERLAPPED* ov) {
  return ::WriteFile(h, data, size, written, ov);
}

BOOL IoCalls::SetCommMask(HANDLE h, DWORD mask) { return ::SetCommMask(h, mask); }

BOOL IoCalls::WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) {
  return ::WaitCommEvent(h, mask, ov);
}

BOOL IoCalls::ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) {
  return ::ClearCommError(h, errors, stat);
}

BOOL IoCalls::CancelIoEx(HANDLE h, OVERLAPPED* ov) { return ::CancelIoEx(h, ov); }

BOOL IoCalls::GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* count, BOOL wait) {
  return ::GetOverlappedResult(h, ov, count, wait);
}

DWORD IoCalls::WaitForSingleObject(HANDLE object, DWORD ms) {
  return ::WaitForSingleObject(object, ms);
}

BOOL IoCalls::CloseHandle(HANDLE h) { return ::CloseHandle(h); }

IoCalls& Io() { return *Installed().load(); }

ScopedIoCalls::ScopedIoCalls(IoCalls& calls) : previous_(Installed().exchange(&calls)) {}

ScopedIoCalls::~ScopedIoCalls() { Installed().store(previous_); }

}  // namespace platform::win32
