// Real serial ports whose modem lines the test drives. A pseudo-terminal has
// no modem lines (its port reports them unknown), so the serial link's CTS
// rule is exercised on a real pty by wrapping each opened port: reads,
// writes and settings go to the real port, GetModemStatus answers CTS as the
// test sets it.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace fakes {

class DrivenLinesPorts : public platform::SerialPorts {
 public:
  explicit DrivenLinesPorts(platform::SerialPorts& real) : real_(real) {}

  void SetCts(bool on) { cts_ = on; }

  std::unique_ptr<platform::SerialPort> Open(const std::string& devicePath,
                                             bool overlapped) override {
    std::unique_ptr<platform::SerialPort> port = real_.Open(devicePath, overlapped);
    if (!port) return nullptr;
    return std::make_unique<Port>(std::move(port), cts_);
  }

 private:
  class Port : public platform::SerialPort {
   public:
    Port(std::unique_ptr<platform::SerialPort> real, const std::atomic<bool>& cts)
        : real_(std::move(real)), cts_(cts) {}
    bool SetupQueues(uint32_t in, uint32_t out) override { return real_->SetupQueues(in, out); }
    bool Purge(unsigned flags) override { return real_->Purge(flags); }
    bool GetTimeouts(platform::CommTimeouts& t) override { return real_->GetTimeouts(t); }
    bool SetTimeouts(const platform::CommTimeouts& t) override { return real_->SetTimeouts(t); }
    bool GetLineSettings(platform::LineSettings& s) override { return real_->GetLineSettings(s); }
    bool SetLineSettings(const platform::LineSettings& s) override {
      return real_->SetLineSettings(s);
    }
    bool GetModemStatus(platform::ModemStatus& status) override {
      status = platform::ModemStatus{};
      status.cts = cts_.load();
      return true;
    }
    int QueuedInput() override { return real_->QueuedInput(); }
    int QueuedOutput() override { return real_->QueuedOutput(); }
    int Read(uint8_t* buffer, int size) override { return real_->Read(buffer, size); }
    int Write(const uint8_t* data, int size, uint32_t waitMs) override {
      return real_->Write(data, size, waitMs);
    }
    platform::WriteResult WriteWithin(const uint8_t* data, int size, uint32_t waitMs) override {
      return real_->WriteWithin(data, size, waitMs);
    }
    bool WaitReadable(uint32_t ms) override { return real_->WaitReadable(ms); }

   private:
    std::unique_ptr<platform::SerialPort> real_;
    const std::atomic<bool>& cts_;
  };

  platform::SerialPorts& real_;
  std::atomic<bool> cts_{true};
};

}  // namespace fakes
