// The application end of the virtual pair as the port check sees it: each
// set-up step can be made to fail, each write is recorded and can be refused,
// and the port records when it is closed (destroyed), so tests can tell
// whether a message came before or after the close. What it records lives in
// a shared record, readable after the port is gone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/serial_port.h"

namespace fakes {

struct AppPortRecord {
  platform::CommTimeouts timeouts{1, 2, 3, 4, 5};
  // Line settings as a device might report them before the set-up.
  platform::LineSettings line{2400,  7,     2,     2,    false, true, true, true, true,
                              false, false, false, true, true,  true, true, true};
  bool failSetTimeouts = false;
  bool failGetState = false;
  bool failSetState = false;
  // Refuses a write (it reports -1), given the write's number (0 for the
  // first) and its bytes.
  std::function<bool(int, const std::vector<uint8_t>&)> failWrite;
  std::vector<std::vector<uint8_t>> writes;
  bool closed = false;
};

class FakeAppPort : public platform::SerialPort {
 public:
  explicit FakeAppPort(std::shared_ptr<AppPortRecord> record) : r_(std::move(record)) {}
  ~FakeAppPort() override { r_->closed = true; }

  bool SetupQueues(uint32_t, uint32_t) override { return true; }
  bool Purge(unsigned) override { return true; }
  bool GetTimeouts(platform::CommTimeouts& t) override {
    t = r_->timeouts;
    return true;
  }
  bool SetTimeouts(const platform::CommTimeouts& t) override {
    r_->timeouts = t;
    return !r_->failSetTimeouts;
  }
  bool GetLineSettings(platform::LineSettings& s) override {
    s = r_->line;
    return !r_->failGetState;
  }
  bool SetLineSettings(const platform::LineSettings& s) override {
    r_->line = s;
    return !r_->failSetState;
  }
  bool GetModemStatus(platform::ModemStatus&) override { return false; }
  int QueuedInput() override { return 0; }
  int Read(uint8_t*, int) override { return 0; }
  int Write(const uint8_t* data, int size, uint32_t) override {
    std::vector<uint8_t> bytes(data, data + size);
    const int index = static_cast<int>(r_->writes.size());
    r_->writes.push_back(bytes);
    if (r_->failWrite && r_->failWrite(index, bytes)) return -1;
    return size;
  }
  bool WaitReadable(uint32_t) override { return false; }

 private:
  std::shared_ptr<AppPortRecord> r_;
};

}  // namespace fakes
