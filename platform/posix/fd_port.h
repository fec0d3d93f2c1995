// Implemented in platform/posix/serial_port.cpp.
// FdPort: what every POSIX serial-style port shares, the descriptor and its
// Windows-like time-outs, queues, reads and writes (serial_port.cpp). The
// device ports there and the virtual pair's relay end (pty_relay_port.cpp)
// add their line settings and modem status. The port owns the descriptor.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/serial_port.h"

namespace platform::posix {

class FdPort : public SerialPort {
 public:
  explicit FdPort(int fd) : fd_(fd) {}
  ~FdPort() override;
  FdPort(const FdPort&) = delete;
  FdPort& operator=(const FdPort&) = delete;

  bool SetupQueues(uint32_t, uint32_t) override { return true; }
  bool Purge(unsigned flags) override;
  bool GetTimeouts(CommTimeouts& timeouts) override;
  bool SetTimeouts(const CommTimeouts& timeouts) override;
  int QueuedInput() override;
  int QueuedOutput() override;
  int Read(uint8_t* buffer, int size) override;
  int Write(const uint8_t* data, int size, uint32_t waitMs) override;
  WriteResult WriteWithin(const uint8_t* data, int size, uint32_t waitMs) override;
  bool WaitReadable(uint32_t timeoutMs) override;
  int LastError() override { return lastError_; }

  int fd() const { return fd_; }
  // The descriptor a wait for this port's input polls (port_signals.cpp):
  // the port's own, or another one that becomes readable when the port's
  // state changes so that input may come (a hung-up end opened again).
  virtual int WaitDescriptor() { return fd_; }

 protected:
  // Bytes still in the output queue once it drained or the time came; 0 for
  // devices without one (pseudo-terminals, printer devices).
  int WaitDrained(uint64_t deadline);

  const int fd_;
  // errno of the last failure; EIO for a hang-up, ETIMEDOUT for a write the
  // wait gave up on.
  std::atomic<int> lastError_{0};

 private:
  std::mutex lock_;
  CommTimeouts timeouts_{};
};

}  // namespace platform::posix
