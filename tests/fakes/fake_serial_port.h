// A serial port standing in for the relay end of the virtual pair: DSR as the
// test sets it, writes recorded or refused, nothing to read.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/serial_port.h"

namespace fakes {

class FakeSerialPort : public platform::SerialPort {
 public:
  void SetDsr(bool on) {
    std::lock_guard<std::mutex> g(lock_);
    dsr_ = on;
  }
  void FailWrites(bool fail) {
    std::lock_guard<std::mutex> g(lock_);
    failWrites_ = fail;
  }
  std::vector<std::vector<uint8_t>> writes() {
    std::lock_guard<std::mutex> g(lock_);
    return writes_;
  }

  bool SetupQueues(uint32_t, uint32_t) override { return true; }
  bool Purge(unsigned) override { return true; }
  bool GetTimeouts(platform::CommTimeouts&) override { return true; }
  bool SetTimeouts(const platform::CommTimeouts&) override { return true; }
  bool GetLineSettings(platform::LineSettings&) override { return true; }
  bool SetLineSettings(const platform::LineSettings&) override { return true; }
  bool GetModemStatus(platform::ModemStatus& status) override {
    std::lock_guard<std::mutex> g(lock_);
    status = platform::ModemStatus{};
    status.dsr = dsr_;
    return true;
  }
  int QueuedInput() override { return 0; }
  int Read(uint8_t*, int) override { return 0; }
  int Write(const uint8_t* data, int size, uint32_t) override {
    std::lock_guard<std::mutex> g(lock_);
    if (failWrites_) return -1;
    writes_.emplace_back(data, data + size);
    return size;
  }
  bool WaitReadable(uint32_t) override { return false; }

 private:
  std::mutex lock_;
  bool dsr_ = true;
  bool failWrites_ = false;
  std::vector<std::vector<uint8_t>> writes_;
};

}  // namespace fakes
