// Serial ports on Windows: the communications API on "\\.\COMn" and "LPTn".
// Ports opened for overlapped I/O use one event per direction, so a reader
// thread and a writer thread can use the same port at once, and wait for
// input with WaitCommEvent instead of polling (also as part of a wait on
// several ports, port_signals.cpp).
#include "platform/serial_port.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/os_error.h"
#include "platform/win32/comm_handle.h"
#include "platform/win32/input_wait.h"
#include "platform/win32/io_calls.h"
#include "platform/win32/native.h"
#include "platform/win32/port_signals.h"

namespace platform::win32 {
namespace {

class WinSerialPort : public SerialPort, public InputWait {
 public:
  WinSerialPort(HANDLE handle, bool overlapped, DWORD readWaitMs = INFINITE)
      : handle_(handle), overlapped_(overlapped), readWaitMs_(readWaitMs) {
    if (overlapped_) {
      readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      waitEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
  }
  ~WinSerialPort() override {
    EndPendingWait();
    Io().CloseHandle(handle_);
    for (HANDLE e : {readEvent_, writeEvent_, waitEvent_})
      if (e) Io().CloseHandle(e);
  }

  bool SetupQueues(uint32_t in, uint32_t out) override { return SetupComm(handle_, in, out) != 0; }
  bool Purge(unsigned flags) override { return PurgeComm(handle_, flags) != 0; }

  bool GetTimeouts(CommTimeouts& t) override {
    COMMTIMEOUTS c{};
    if (!GetCommTimeouts(handle_, &c)) return Failed();
    t = {c.ReadIntervalTimeout, c.ReadTotalTimeoutMultiplier, c.ReadTotalTimeoutConstant,
         c.WriteTotalTimeoutMultiplier, c.WriteTotalTimeoutConstant};
    return true;
  }

  bool SetTimeouts(const CommTimeouts& t) override {
    COMMTIMEOUTS c{t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                   t.writeTotalMultiplier, t.writeTotalConstant};
    if (!SetCommTimeouts(handle_, &c)) return Failed();
    immediateReads_ =
        t.readInterval == MAXDWORD && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    return true;
  }

  bool GetLineSettings(LineSettings& s) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return Failed();
    s.baudRate = dcb.BaudRate;
    s.dataBits = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.stopBits = dcb.StopBits;
    s.binary = dcb.fBinary;
    s.parityCheck = dcb.fParity;
    s.ctsFlow = dcb.fOutxCtsFlow;
    s.dsrFlow = dcb.fOutxDsrFlow;
    s.dsrSensitivity = dcb.fDsrSensitivity;
    s.dtrEnable = dcb.fDtrControl == DTR_CONTROL_ENABLE;
    s.rtsEnable = dcb.fRtsControl == RTS_CONTROL_ENABLE;
    s.txContinueOnXoff = dcb.fTXContinueOnXoff;
    s.xonXoffOut = dcb.fOutX;
    s.xonXoffIn = dcb.fInX;
    s.errorChar = dcb.fErrorChar;
    s.nullStrip = dcb.fNull;
    s.abortOnError = dcb.fAbortOnError;
    return true;
  }

  // Every member not named here keeps the value the device reports.
  bool SetLineSettings(const LineSettings& s) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return Failed();
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = s.dataBits;
    dcb.Parity = s.parity;
    dcb.StopBits = s.stopBits;
    dcb.fBinary = s.binary;
    dcb.fParity = s.parityCheck;
    dcb.fOutxCtsFlow = s.ctsFlow;
    dcb.fOutxDsrFlow = s.dsrFlow;
    dcb.fDsrSensitivity = s.dsrSensitivity;
    dcb.fDtrControl = s.dtrEnable ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = s.rtsEnable ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fTXContinueOnXoff = s.txContinueOnXoff;
    dcb.fOutX = s.xonXoffOut;
    dcb.fInX = s.xonXoffIn;
    dcb.fErrorChar = s.errorChar;
    dcb.fNull = s.nullStrip;
    dcb.fAbortOnError = s.abortOnError;
    return SetCommState(handle_, &dcb) != 0;
  }

  bool GetModemStatus(ModemStatus& status) override {
    DWORD lines = 0;
    if (!GetCommModemStatus(handle_, &lines)) return false;
    status.cts = lines & MS_CTS_ON;
    status.dsr = lines & MS_DSR_ON;
    status.ring = lines & MS_RING_ON;
    status.rlsd = lines & MS_RLSD_ON;
    return true;
  }

  int QueuedInput() override {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!Io().ClearCommError(handle_, &errors, &stat)) return -1;
    return static_cast<int>(stat.cbInQue);
  }

  int QueuedOutput() override {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!Io().ClearCommError(handle_, &errors, &stat)) return 0;
    return static_cast<int>(stat.cbOutQue);
  }

  int Read(uint8_t* buffer, int size) override {
    DWORD n = 0;
    // Reads that are to return at once take only what is queued: not every
    // driver completes an overlapped read at once when nothing has arrived.
    if (immediateReads_) {
      const int queued = QueuedInput();
      if (queued <= 0) return queued < 0 ? -1 : 0;
      if (queued < size) size = queued;
    }
    if (!overlapped_)
      return Io().ReadFile(handle_, buffer, static_cast<DWORD>(size), &n, nullptr)
                 ? static_cast<int>(n)
                 : FailedCount();
    OVERLAPPED ov{};
    ov.hEvent = readEvent_;
    ResetEvent(readEvent_);
    if (Io().ReadFile(handle_, buffer, static_cast<DWORD>(size), &n, &ov))
      return static_cast<int>(n);
    if (GetLastError() != ERROR_IO_PENDING) return FailedCount();
    // Devices without read time-outs (a USB printer) may never complete a
    // read; those ports bound the wait and cancel the rest.
    if (readWaitMs_ != INFINITE &&
        Io().WaitForSingleObject(readEvent_, readWaitMs_) != WAIT_OBJECT_0)
      Io().CancelIoEx(handle_, &ov);
    if (!Io().GetOverlappedResult(handle_, &ov, &n, TRUE) && n == 0) return FailedCount();
    return static_cast<int>(n);
  }

  int Write(const uint8_t* data, int size, uint32_t waitMs) override {
    DWORD n = 0;
    if (!overlapped_)
      return Io().WriteFile(handle_, data, static_cast<DWORD>(size), &n, nullptr)
                 ? static_cast<int>(n)
                 : FailedCount();
    OVERLAPPED ov{};
    ov.hEvent = writeEvent_;
    ResetEvent(writeEvent_);
    if (Io().WriteFile(handle_, data, static_cast<DWORD>(size), &n, &ov))
      return static_cast<int>(n);
    if (GetLastError() != ERROR_IO_PENDING) return FailedCount();
    if (Io().WaitForSingleObject(writeEvent_, waitMs ? waitMs : INFINITE) != WAIT_OBJECT_0) {
      Io().CancelIoEx(handle_, &ov);
    }
    if (!Io().GetOverlappedResult(handle_, &ov, &n, TRUE) && n == 0) return FailedCount();
    return static_cast<int>(n);
  }

  WriteResult WriteWithin(const uint8_t* data, int size, uint32_t waitMs) override {
    DWORD n = 0;
    if (!overlapped_) {
      const BOOL ok = Io().WriteFile(handle_, data, static_cast<DWORD>(size), &n, nullptr);
      if (!ok) Failed();
      return {static_cast<int>(n), ok != 0};
    }
    OVERLAPPED ov{};
    ov.hEvent = writeEvent_;
    ResetEvent(writeEvent_);
    if (Io().WriteFile(handle_, data, static_cast<DWORD>(size), &n, &ov))
      return {static_cast<int>(n), true};
    if (GetLastError() != ERROR_IO_PENDING) {
      Failed();
      return {0, false};
    }
    if (Io().WaitForSingleObject(writeEvent_, waitMs) == WAIT_OBJECT_0) {
      const BOOL ok = Io().GetOverlappedResult(handle_, &ov, &n, FALSE);
      if (!ok) Failed();
      return {static_cast<int>(n), ok != 0};
    }
    Io().CancelIoEx(handle_, &ov);
    Io().GetOverlappedResult(handle_, &ov, &n, TRUE);
    lastError_ = WAIT_TIMEOUT;
    return {static_cast<int>(n), false};
  }

  bool WaitReadable(uint32_t timeoutMs) override {
    if (QueuedInput() > 0) return true;
    if (HANDLE ended = StartInputWait()) {
      Io().WaitForSingleObject(ended, timeoutMs);
      EndInputWait();
      return QueuedInput() > 0;
    }
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
      Sleep(1);
      if (QueuedInput() > 0) return true;
    }
    return false;
  }

  HANDLE StartInputWait() override {
    if (!overlapped_ || waitBroken_ || !waitEvent_) return nullptr;
    if (!maskSet_) maskSet_ = Io().SetCommMask(handle_, EV_RXCHAR) != 0;
    if (maskSet_) {
      *wait_ = PendingWait{};
      wait_->ov.hEvent = waitEvent_;
      ResetEvent(waitEvent_);
      waitStarted_ = true;
      if (Io().WaitCommEvent(handle_, &wait_->mask, &wait_->ov)) {
        SetEvent(waitEvent_);
        return waitEvent_;
      }
      if (GetLastError() == ERROR_IO_PENDING) return waitEvent_;
      waitStarted_ = false;
    }
    waitBroken_ = true;  // the driver cannot wait for events: poll instead
    return nullptr;
  }

  void EndInputWait() override {
    if (!waitStarted_) return;
    waitStarted_ = false;
    DWORD ignored = 0;
    if (Io().WaitForSingleObject(waitEvent_, 0) != WAIT_OBJECT_0) {
      Io().CancelIoEx(handle_, &wait_->ov);
      if (Io().WaitForSingleObject(waitEvent_, kEndWaitGraceMs) != WAIT_OBJECT_0) {
        // A driver that does not end the wait when asked would hold the relay
        // up: poll this port from now on. A new mask ends such a wait under
        // Wine, whose wait thread would otherwise go on checking the port;
        // one still pending is ended again before its record goes.
        waitBroken_ = true;
        waitPending_ = true;
        Io().SetCommMask(handle_, EV_RXCHAR);
        if (Io().WaitForSingleObject(waitEvent_, kEndWaitGraceMs) == WAIT_OBJECT_0) {
          waitPending_ = false;
          Io().GetOverlappedResult(handle_, &wait_->ov, &ignored, FALSE);
        }
        return;
      }
      Io().GetOverlappedResult(handle_, &wait_->ov, &ignored, FALSE);
      return;
    }
    Io().GetOverlappedResult(handle_, &wait_->ov, &ignored, FALSE);
    // A wait that ends by itself without an event while nothing came in (Wine
    // on a port without modem lines) would end every later wait at once.
    if (wait_->mask == 0 && QueuedInput() <= 0) waitBroken_ = true;
  }

  int LastError() override { return lastError_; }

 private:
  // Keep GetLastError() of the call that just failed, and fail.
  bool Failed() {
    lastError_ = static_cast<int>(GetLastError());
    return false;
  }
  int FailedCount() {
    Failed();
    return -1;
  }

  std::atomic<int> lastError_{0};
  HANDLE handle_;
  bool overlapped_;
  DWORD readWaitMs_;
  HANDLE readEvent_ = nullptr;
  HANDLE writeEvent_ = nullptr;
  HANDLE waitEvent_ = nullptr;
  static constexpr DWORD kEndWaitGraceMs = 200;
  // A wait the driver did not end when asked is still pending on its record
  // (with its event mask) and event: they must not go before it ends. Asked
  // once more, the wait is given a second; a driver that never ends it keeps
  // both for good, so that its late completion writes into memory that is
  // still there.
  void EndPendingWait() {
    if (!waitPending_) return;
    Io().CancelIoEx(handle_, &wait_->ov);
    if (Io().WaitForSingleObject(waitEvent_, kPendingWaitEndMs) == WAIT_OBJECT_0) {
      waitPending_ = false;
      return;
    }
    static_cast<void>(wait_.release());  // left to the driver, with its event
    waitEvent_ = nullptr;
  }

  static constexpr DWORD kPendingWaitEndMs = 1000;

  bool maskSet_ = false;
  bool waitBroken_ = false;
  bool waitPending_ = false;  // not ended when asked: see EndPendingWait
  bool waitStarted_ = false;  // begun by StartInputWait, not yet ended
  bool immediateReads_ = false;
  // The driver writes both when the wait ends, which may be after
  // WaitReadable returned: they live and go together.
  struct PendingWait {
    OVERLAPPED ov{};
    DWORD mask = 0;
  };
  std::unique_ptr<PendingWait> wait_ = std::make_unique<PendingWait>();
};

// The system's own words for an error, with its number.

// GetLastError() of the calling thread's last failed open.
thread_local int tOpenError = 0;

class WinSerialPorts : public SerialPorts {
 public:
  std::unique_ptr<SerialPort> Open(const std::string& devicePath, bool overlapped) override {
    std::string ignored;
    return OpenOrSayWhy(devicePath, overlapped, ignored);
  }

  std::unique_ptr<SerialPort> OpenOrSayWhy(const std::string& devicePath, bool overlapped,
                                           std::string& whyNot) override {
    HANDLE h = CreateFileA(
        devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        overlapped ? FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
      tOpenError = static_cast<int>(GetLastError());
      whyNot = DescribeOsError(tOpenError);
      return nullptr;
    }
    return std::make_unique<WinSerialPort>(h, overlapped);
  }

  std::unique_ptr<PortSignals> NewPortSignals() override { return NewEventPortSignals(); }

  int LastError() override { return tOpenError; }
};

}  // namespace

std::unique_ptr<SerialPort> AdoptCommHandle(HANDLE handle, bool overlapped, DWORD readWaitMs) {
  return std::make_unique<WinSerialPort>(handle, overlapped, readWaitMs);
}

SerialPorts& NewSerialPorts() {
  static WinSerialPorts ports;
  return ports;
}

}  // namespace platform::win32
