// The real Windows calls behind the seam (see comm_calls.h).
#include "platform/win32/comm_calls.h"

#include <atomic>

namespace platform::win32 {
namespace {

CommCalls& RealCalls() {
  static CommCalls real;
  return real;
}

std::atomic<CommCalls*>& Installed() {
  static std::atomic<CommCalls*> installed{&RealCalls()};
  return installed;
}

}  // namespace

BOOL CommCalls::ReadFile(HANDLE h, void* buffer, DWORD size, DWORD* read, OVERLAPPED* ov) {
  return ::ReadFile(h, buffer, size, read, ov);
}

BOOL CommCalls::WriteFile(HANDLE h, const void* data, DWORD size, DWORD* written, OVERLAPPED* ov) {
  return ::WriteFile(h, data, size, written, ov);
}

BOOL CommCalls::SetCommMask(HANDLE h, DWORD mask) { return ::SetCommMask(h, mask); }

BOOL CommCalls::WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) {
  return ::WaitCommEvent(h, mask, ov);
}

BOOL CommCalls::ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) {
  return ::ClearCommError(h, errors, stat);
}

BOOL CommCalls::CancelIoEx(HANDLE h, OVERLAPPED* ov) { return ::CancelIoEx(h, ov); }

BOOL CommCalls::GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* count, BOOL wait) {
  return ::GetOverlappedResult(h, ov, count, wait);
}

DWORD CommCalls::WaitForSingleObject(HANDLE object, DWORD ms) {
  return ::WaitForSingleObject(object, ms);
}

BOOL CommCalls::CloseHandle(HANDLE h) { return ::CloseHandle(h); }

CommCalls& Comm() { return *Installed().load(); }

ScopedCommCalls::ScopedCommCalls(CommCalls& calls) : previous_(Installed().exchange(&calls)) {}

ScopedCommCalls::~ScopedCommCalls() { Installed().store(previous_); }

}  // namespace platform::win32
