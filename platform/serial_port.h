// Implemented by platform/win32/serial_port.cpp and platform/posix/serial_port.cpp.
// Serial-style ports: the relay end of the virtual pair, serial printers and
// parallel printers. The calls mirror the Windows communications API (queues,
// purge, time-outs, line settings, modem status), so the Win32 implementation
// is a thin wrapper and the POSIX one (termios, pseudo-terminals) states how it
// maps each call.
//
// Threads: one port object may be read by one thread while another writes to
// it or asks for its modem status (the relay worker reads the relay end while
// a printer link's reader forwards printer replies to it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/os_error.h"

namespace platform {

struct CommTimeouts {
  uint32_t readInterval = 0;
  uint32_t readTotalMultiplier = 0;
  uint32_t readTotalConstant = 0;
  uint32_t writeTotalMultiplier = 0;
  uint32_t writeTotalConstant = 0;
};
inline constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// The DCB members the program sets; everything else keeps the device's value.
struct LineSettings {
  uint32_t baudRate = 9600;
  uint8_t dataBits = 8;
  uint8_t parity = 0;    // NOPARITY
  uint8_t stopBits = 0;  // ONESTOPBIT
  bool binary = true;
  bool parityCheck = false;
  bool ctsFlow = false;
  bool dsrFlow = false;
  bool dsrSensitivity = false;
  bool dtrEnable = true;
  bool rtsEnable = true;
  bool txContinueOnXoff = true;
  bool xonXoffOut = false;
  bool xonXoffIn = false;
  bool errorChar = false;
  bool nullStrip = false;
  bool abortOnError = false;
};

// The line the relay end and serial printers use: the rate, 8 data bits, no
// parity, one stop bit, binary, DTR and RTS on, no flow control of any kind, no
// error replacement or null stripping, no abort on error.
inline void SetPlainLine(LineSettings& line, uint32_t baudRate) {
  line.baudRate = baudRate;
  line.dataBits = 8;
  line.parity = 0;
  line.stopBits = 0;
  line.binary = true;
  line.parityCheck = false;
  line.ctsFlow = false;
  line.dsrFlow = false;
  line.dsrSensitivity = false;
  line.dtrEnable = true;
  line.rtsEnable = true;
  line.txContinueOnXoff = true;
  line.xonXoffOut = false;
  line.xonXoffIn = false;
  line.errorChar = false;
  line.nullStrip = false;
  line.abortOnError = false;
}

enum PurgeFlags : unsigned {
  kPurgeTxAbort = 0x1,
  kPurgeRxAbort = 0x2,
  kPurgeTxClear = 0x4,
  kPurgeRxClear = 0x8,
  kPurgeAll = 0xF,
};

// What one write bounded by a wait achieved: the bytes that left for the
// device, and whether the write finished (at once, within the wait, or ended
// early by the port's own write time-outs). Not finished: the device refused
// it, or the wait ran out and the rest was cancelled.
struct WriteResult {
  int count = 0;
  bool finished = false;
};

struct ModemStatus {
  bool cts = false;
  bool dsr = false;
  bool ring = false;
  bool rlsd = false;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual bool SetupQueues(uint32_t inBytes, uint32_t outBytes) = 0;  // SetupComm
  virtual bool Purge(unsigned flags) = 0;                             // PurgeComm
  virtual bool GetTimeouts(CommTimeouts& timeouts) = 0;
  virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
  virtual bool GetLineSettings(LineSettings& settings) = 0;  // GetCommState
  virtual bool SetLineSettings(const LineSettings& settings) = 0;
  // False when the port has no modem lines to report (a pseudo-terminal, a
  // parallel port): the caller then knows nothing about them, not "all off".
  virtual bool GetModemStatus(ModemStatus& status) = 0;
  // Bytes waiting in the input queue (ClearCommError), -1 on failure.
  virtual int QueuedInput() = 0;
  // Bytes written but not yet sent (ClearCommError's output queue); 0 for
  // ports that send at once or cannot tell.
  virtual int QueuedOutput() { return 0; }

  // Reads at most `size` bytes as the time-outs say (MAXDWORD/0/0: at once,
  // with what is queued). Returns the count, 0 when nothing came, -1 on failure.
  virtual int Read(uint8_t* buffer, int size) = 0;
  // Writes the bytes, waiting at most `waitMs` for the write to complete
  // (0: as the time-outs say). Returns the count written, -1 on failure.
  virtual int Write(const uint8_t* data, int size, uint32_t waitMs) = 0;
  // One overlapped write whose result is awaited at most `waitMs` (at least
  // 1); what is still pending then is cancelled (CancelIo). A write counts as
  // done once its bytes have left the port, not when they are queued. The
  // printer links use it; the default suits ports that only have Write.
  virtual WriteResult WriteWithin(const uint8_t* data, int size, uint32_t waitMs) {
    const int n = Write(data, size, waitMs);
    return WriteResult{n > 0 ? n : 0, n == size};
  }
  // Blocks until input is queued or the time is up; true when input is queued.
  // Lets a reader wait for data without spinning.
  virtual bool WaitReadable(uint32_t timeoutMs) = 0;
  // The OS error of this port's last failed call (os_error.h); a write the
  // wait gave up on counts as timed out. 0 while nothing failed.
  virtual int LastError() { return 0; }
};

class PortSignals;

class SerialPorts {
 public:
  virtual ~SerialPorts() = default;
  // CreateFileA on the device path ("\\.\COM6", "LPT1", ...): read and write,
  // no sharing, open existing. Null when the device cannot be opened.
  virtual std::unique_ptr<SerialPort> Open(const std::string& devicePath, bool overlapped) = 0;
  // The blocking part of a wait for input on ports opened here (port_wait.h).
  // By default the ports are polled.
  virtual std::unique_ptr<PortSignals> NewPortSignals();
  // The OS error of the calling thread's last failed open (os_error.h).
  virtual int LastError() { return 0; }
  // The same open; when it fails, `whyNot` tells the user why in the
  // system's words (no such port, in use, not a device, ...).
  virtual std::unique_ptr<SerialPort> OpenOrSayWhy(const std::string& devicePath, bool overlapped,
                                                   std::string& whyNot) {
    std::unique_ptr<SerialPort> port = Open(devicePath, overlapped);
    if (!port) whyNot = LastError() ? DescribeOsError(LastError()) : "the port cannot be opened";
    return port;
  }
};

}  // namespace platform
