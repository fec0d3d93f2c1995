// The Win32 serial port with a driver that leaves its wait for input pending:
// the calls go through the seam of platform/win32/io_calls.h, which plays
// the driver. A wait the driver does not end when asked must not outlive the
// record it writes into: the port cancels it and waits for its completion
// before the record goes, and keeps the record when it never completes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/comm_handle.h"
#include "platform/win32/io_calls.h"

namespace {

using platform::win32::IoCalls;

// A device handle nobody else knows; the events the port makes are real.
HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x4C0DE));

class PendingWaitDriver : public IoCalls {
 public:
  bool completesOnCancel = false;
  std::vector<std::string> calls;
  OVERLAPPED* pending = nullptr;
  DWORD* pendingMask = nullptr;

  BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) override {
    if (h != kDevice) return IoCalls::ClearCommError(h, errors, stat);
    if (errors) *errors = 0;
    if (stat) *stat = COMSTAT{};
    return TRUE;
  }
  BOOL SetCommMask(HANDLE h, DWORD mask) override {
    return h == kDevice ? TRUE : IoCalls::SetCommMask(h, mask);
  }
  BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) override {
    if (h != kDevice) return IoCalls::WaitCommEvent(h, mask, ov);
    calls.push_back("wait for input");
    pending = ov;
    pendingMask = mask;
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }
  BOOL CancelIoEx(HANDLE h, OVERLAPPED* ov) override {
    if (h != kDevice) return IoCalls::CancelIoEx(h, ov);
    calls.push_back(ov == pending ? "cancel the wait" : "cancel something else");
    if (completesOnCancel && ov == pending) Complete();
    return TRUE;
  }
  DWORD WaitForSingleObject(HANDLE object, DWORD ms) override {
    if (pending && object == pending->hEvent) {
      calls.push_back("wait for its end");
      return IoCalls::WaitForSingleObject(object, 0);
    }
    return IoCalls::WaitForSingleObject(object, ms);
  }
  BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* count, BOOL wait) override {
    if (h != kDevice) return IoCalls::GetOverlappedResult(h, ov, count, wait);
    *count = 0;
    return TRUE;
  }
  BOOL CloseHandle(HANDLE h) override {
    if (h != kDevice) return IoCalls::CloseHandle(h);
    calls.push_back("close the device");
    return TRUE;
  }
  // The driver ends the wait: it writes its status into the record and
  // signals the record's event, as the system does for an overlapped call.
  void Complete() {
    *pendingMask = EV_RXCHAR;
    pending->Internal = 0xC0000120;  // STATUS_CANCELLED
    pending->InternalHigh = 0;
    SetEvent(pending->hEvent);
  }
};

TEST(Win32SerialPort, AWaitTheDriverDoesNotEndIsCancelledBeforeTheRecordGoes) {
  for (bool completes : {true, false}) {
    SCOPED_TRACE(completes);
    PendingWaitDriver driver;
    driver.completesOnCancel = completes;
    platform::win32::ScopedIoCalls installed(driver);
    auto port = platform::win32::AdoptCommHandle(kDevice, true, INFINITE);
    // The driver ignores the cancel at the end of this wait: the port goes
    // on polling, the wait still pending.
    driver.completesOnCancel = false;
    EXPECT_FALSE(port->WaitReadable(10));
    ASSERT_NE(driver.pending, nullptr);
    driver.completesOnCancel = completes;
    driver.calls.clear();
    port.reset();

    const std::vector<std::string> expected{"cancel the wait", "wait for its end",
                                            "close the device"};
    EXPECT_EQ(driver.calls, expected);
    // Completing late (after the close) writes into a record that is still
    // there; the port leaves it behind rather than free it under the driver.
    if (!completes) driver.Complete();
  }
}

// True when `p` lies in the calling thread's stack: the same reservation
// as a local of this frame.
bool OnThisThreadsStack(const void* p) {
  const int local = 0;
  MEMORY_BASIC_INFORMATION stack{}, there{};
  if (!VirtualQuery(&local, &stack, sizeof stack) || !VirtualQuery(p, &there, sizeof there))
    return false;
  return stack.AllocationBase == there.AllocationBase;
}

// The driver fills in the event mask when the wait ends, which for a wait it
// did not end when asked is after WaitReadable returned: the mask must live
// with the record, not in WaitReadable's frame, which is long gone by then.
TEST(Win32SerialPort, AWaitEndingLateWritesItsMaskBesideItsRecord) {
  for (bool completes : {true, false}) {
    SCOPED_TRACE(completes);
    PendingWaitDriver driver;
    platform::win32::ScopedIoCalls installed(driver);
    auto port = platform::win32::AdoptCommHandle(kDevice, true, INFINITE);
    EXPECT_FALSE(port->WaitReadable(10));
    ASSERT_NE(driver.pendingMask, nullptr);
    // Checked before anything is written there: a stale stack slot would
    // take the late write silently and corrupt whatever frame is there now.
    ASSERT_FALSE(OnThisThreadsStack(driver.pendingMask));
    if (completes) {
      driver.Complete();  // late, while the port is still open
      port.reset();
    } else {
      port.reset();       // the port leaves the record behind ...
      driver.Complete();  // ... for the driver's write, much later
    }
  }
}

}  // namespace
