// A serial port standing in for the relay end of the virtual pair: DSR as the
// test sets it, writes recorded or refused or (a port the application does
// not read) taking nothing for as long as they may wait, nothing to read.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/serial_port.h"
#include "tests/fakes/fake_platform.h"

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
  // Full: a write takes nothing and the fake clock (when given) moves on by
  // the time it may wait. A wait of 0 would last for ever on a real port;
  // such writes are counted, and return at once.
  void SetFull(bool full, FakeClock* clock = nullptr) {
    std::lock_guard<std::mutex> g(lock_);
    full_ = full;
    clock_ = clock;
  }
  std::vector<std::vector<uint8_t>> writes() {
    std::lock_guard<std::mutex> g(lock_);
    return writes_;
  }
  // The wait each write was allowed, in order.
  std::vector<uint32_t> writeWaits() {
    std::lock_guard<std::mutex> g(lock_);
    return waits_;
  }
  int unboundedWrites() {
    std::lock_guard<std::mutex> g(lock_);
    return unbounded_;
  }
  size_t bytesWritten() {
    std::lock_guard<std::mutex> g(lock_);
    size_t n = 0;
    for (const auto& w : writes_) n += w.size();
    return n;
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
  int Write(const uint8_t* data, int size, uint32_t waitMs) override {
    std::lock_guard<std::mutex> g(lock_);
    waits_.push_back(waitMs);
    if (failWrites_) return -1;
    if (full_) {
      if (waitMs == 0) ++unbounded_;
      if (clock_) clock_->Advance(waitMs);
      return 0;
    }
    writes_.emplace_back(data, data + size);
    return size;
  }
  bool WaitReadable(uint32_t) override { return false; }

 private:
  std::mutex lock_;
  bool dsr_ = true;
  bool failWrites_ = false;
  bool full_ = false;
  FakeClock* clock_ = nullptr;
  int unbounded_ = 0;
  std::vector<uint32_t> waits_;
  std::vector<std::vector<uint8_t>> writes_;
};

}  // namespace fakes
