// The Windows calls on the serial I/O path (serial_port.cpp), behind one thin
// seam, as platform/posix/io_calls.h does for the POSIX calls: the code calls
// Io().WaitCommEvent(...) where it would call WaitCommEvent(...). The real
// calls are the default; a test installs its own for a scope, to play a
// driver that leaves an overlapped operation pending, ignores a cancel or
// completes late, which real devices do only by chance. Each call returns
// and sets the last error as the call it stands for.
#pragma once

#include <windows.h>

namespace platform::win32 {

class IoCalls {
 public:
  virtual ~IoCalls() = default;

  virtual BOOL ReadFile(HANDLE h, void* buffer, DWORD size, DWORD* read, OVERLAPPED* ov);
  virtual BOOL WriteFile(HANDLE h, const void* data, DWORD size, DWORD* written, OVERLAPPED* ov);
  virtual BOOL SetCommMask(HANDLE h, DWORD mask);
  virtual BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov);
  virtual BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat);
  virtual BOOL CancelIoEx(HANDLE h, OVERLAPPED* ov);
  virtual BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* count, BOOL wait);
  virtual DWORD WaitForSingleObject(HANDLE object, DWORD ms);
  virtual BOOL CloseHandle(HANDLE h);
};

// The calls in use: the real ones unless a test installed others.
IoCalls& Io();

// Installs `calls` for the object's life; the ones before come back after.
class ScopedIoCalls {
 public:
  explicit ScopedIoCalls(IoCalls& calls);
  ~ScopedIoCalls();
  ScopedIoCalls(const ScopedIoCalls&) = delete;
  ScopedIoCalls& operator=(const ScopedIoCalls&) = delete;

 private:
  IoCalls* previous_;
};

}  // namespace platform::win32
