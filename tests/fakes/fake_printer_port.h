// A printer behind a serial-style port, on the fake clock, for the serial,
// parallel and USB links' tests: answers to chosen commands, bytes it sends
// on its own, reads and writes that take time, writes that stall, fail or
// take only part, modem lines the test sets (or cannot be read), and a
// record of everything the link did to the port in order.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "tests/fakes/fake_platform.h"

namespace fakes {

using Bytes = std::vector<uint8_t>;

class FakePrinterPort : public platform::SerialPort {
 public:
  explicit FakePrinterPort(FakeClock& clock) : clock_(clock) {}

  // --- scripting
  // The printer answers a write of exactly `command` with `reply`.
  void Answer(const Bytes& command, const Bytes& reply) {
    std::lock_guard<std::mutex> g(lock_);
    answers_[std::string(command.begin(), command.end())] = reply;
  }
  // Bytes the printer sends on its own, readable at once.
  void Deliver(const Bytes& bytes) {
    std::lock_guard<std::mutex> g(lock_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
  }
  struct WriteStep {
    int take;       // bytes taken, -1 all of them
    bool finished;  // false: failed, or the wait ran out
    uint32_t ms;    // the fake clock moves on by this much
  };
  // Per WriteWithin call, in order; after the script every write takes all.
  void ScriptWrites(std::vector<WriteStep> steps) {
    std::lock_guard<std::mutex> g(lock_);
    writeScript_.assign(steps.begin(), steps.end());
  }
  // Every read moves the fake clock on by this much (a read time-out).
  void SetReadMs(uint32_t ms) {
    std::lock_guard<std::mutex> g(lock_);
    readMs_ = ms;
  }
  void SetCts(bool on) {
    std::lock_guard<std::mutex> g(lock_);
    cts_ = on;
  }
  // The port has no modem lines to report (a pseudo-terminal).
  void FailModemStatus(bool fail) {
    std::lock_guard<std::mutex> g(lock_);
    failModem_ = fail;
  }
  // No line settings: not a serial device.
  void FailLineSettings(bool fail) {
    std::lock_guard<std::mutex> g(lock_);
    failLine_ = fail;
  }
  // The port cannot say what is queued (QueuedInput -1).
  void HideQueue(bool hide) {
    std::lock_guard<std::mutex> g(lock_);
    hideQueue_ = hide;
  }
  // Bytes the port reports as written but not yet sent.
  void SetQueuedOutput(int bytes) {
    std::lock_guard<std::mutex> g(lock_);
    queuedOutput_ = bytes;
  }
  // The next read blocks (in real time) until ReleaseRead: a device read that
  // outlasts the link's bounded waits.
  void HoldNextRead() {
    std::lock_guard<std::mutex> g(lock_);
    holdNext_ = true;
  }
  void ReleaseRead() {
    std::lock_guard<std::mutex> g(lock_);
    holdNext_ = false;
    holding_ = false;
    released_.notify_all();
  }
  // Whether a read is blocked now; waits up to the time for one to be.
  bool WaitReadHeld(int timeoutMs) {
    std::unique_lock<std::mutex> g(lock_);
    return released_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return holding_; });
  }
  // Unplugged: every write fails at once, nothing can be read.
  void Unplug() {
    std::lock_guard<std::mutex> g(lock_);
    unplugged_ = true;
  }

  // --- record
  std::vector<Bytes> writeCalls() {
    std::lock_guard<std::mutex> g(lock_);
    return writeCalls_;
  }
  std::vector<uint32_t> writeWaits() {
    std::lock_guard<std::mutex> g(lock_);
    return writeWaits_;
  }
  // Every byte the printer took, in order.
  Bytes received() {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
  }
  // "queues IN/OUT", "purge F", "write N", "read N", ... in order.
  std::vector<std::string> events() {
    std::lock_guard<std::mutex> g(lock_);
    return events_;
  }
  platform::CommTimeouts timeouts() {
    std::lock_guard<std::mutex> g(lock_);
    return timeouts_;
  }
  platform::LineSettings line() {
    std::lock_guard<std::mutex> g(lock_);
    return line_;
  }
  size_t pendingInput() {
    std::lock_guard<std::mutex> g(lock_);
    return input_.size();
  }
  int reads() {
    std::lock_guard<std::mutex> g(lock_);
    return reads_;
  }
  // Count of writes of exactly these bytes.
  int CountWrites(const Bytes& bytes) {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(std::count(writeCalls_.begin(), writeCalls_.end(), bytes));
  }

  // --- platform::SerialPort
  bool SetupQueues(uint32_t in, uint32_t out) override {
    Log("queues " + std::to_string(in) + "/" + std::to_string(out));
    return true;
  }
  bool Purge(unsigned flags) override {
    std::lock_guard<std::mutex> g(lock_);
    static const char* hex = "0123456789ABCDEF";
    events_.push_back(std::string("purge ") + hex[flags & 0xF]);
    if (flags & platform::kPurgeRxClear) input_.clear();
    if (flags & platform::kPurgeTxClear) queuedOutput_ = 0;
    return true;
  }
  bool GetTimeouts(platform::CommTimeouts& t) override {
    std::lock_guard<std::mutex> g(lock_);
    t = timeouts_;
    return true;
  }
  bool SetTimeouts(const platform::CommTimeouts& t) override {
    std::lock_guard<std::mutex> g(lock_);
    timeouts_ = t;
    events_.push_back("timeouts");
    return true;
  }
  bool GetLineSettings(platform::LineSettings& s) override {
    std::lock_guard<std::mutex> g(lock_);
    if (failLine_) return false;
    s = line_;
    return true;
  }
  bool SetLineSettings(const platform::LineSettings& s) override {
    std::lock_guard<std::mutex> g(lock_);
    if (failLine_) return false;
    line_ = s;
    events_.push_back("line");
    return true;
  }
  bool GetModemStatus(platform::ModemStatus& status) override {
    std::lock_guard<std::mutex> g(lock_);
    if (failModem_) return false;
    status = platform::ModemStatus{};
    status.cts = cts_;
    return true;
  }
  int QueuedInput() override {
    std::lock_guard<std::mutex> g(lock_);
    if (hideQueue_) return -1;
    return static_cast<int>(input_.size());
  }
  int QueuedOutput() override {
    std::lock_guard<std::mutex> g(lock_);
    return queuedOutput_;
  }
  int Read(uint8_t* buffer, int size) override {
    std::unique_lock<std::mutex> g(lock_);
    if (holdNext_) {
      holdNext_ = false;
      holding_ = true;
      released_.notify_all();
      released_.wait(g, [this] { return !holding_; });
    }
    ++reads_;
    clock_.Advance(readMs_);
    if (unplugged_) return -1;
    const int n = std::min(size, static_cast<int>(input_.size()));
    std::copy(input_.begin(), input_.begin() + n, buffer);
    input_.erase(input_.begin(), input_.begin() + n);
    events_.push_back("read " + std::to_string(n));
    return n;
  }
  int Write(const uint8_t* data, int size, uint32_t waitMs) override {
    const platform::WriteResult r = WriteWithin(data, size, waitMs);
    return r.finished || r.count > 0 ? r.count : -1;
  }
  platform::WriteResult WriteWithin(const uint8_t* data, int size, uint32_t waitMs) override {
    std::lock_guard<std::mutex> g(lock_);
    writeWaits_.push_back(waitMs);
    if (unplugged_) {
      events_.push_back("write failed");
      return {0, false};
    }
    WriteStep step{-1, true, 0};
    if (!writeScript_.empty()) {
      step = writeScript_.front();
      writeScript_.pop_front();
    }
    const int take = step.take < 0 ? size : std::min(step.take, size);
    clock_.Advance(step.ms);
    Bytes bytes(data, data + take);
    writeCalls_.push_back(bytes);
    received_.insert(received_.end(), bytes.begin(), bytes.end());
    events_.push_back("write " + std::to_string(take));
    auto answer = answers_.find(std::string(data, data + size));
    if (answer != answers_.end() && take == size)
      input_.insert(input_.end(), answer->second.begin(), answer->second.end());
    return {take, step.finished};
  }
  bool WaitReadable(uint32_t) override { return QueuedInput() > 0; }

  // Set when the link let go of the port.
  void MarkClosed() { Log("closed"); }

 private:
  void Log(const std::string& event) {
    std::lock_guard<std::mutex> g(lock_);
    events_.push_back(event);
  }

  FakeClock& clock_;
  std::mutex lock_;
  std::condition_variable released_;
  bool holdNext_ = false;
  bool holding_ = false;
  std::map<std::string, Bytes> answers_;
  std::deque<uint8_t> input_;
  std::deque<WriteStep> writeScript_;
  uint32_t readMs_ = 0;
  bool cts_ = true;
  bool failModem_ = false;
  bool failLine_ = false;
  bool hideQueue_ = false;
  bool unplugged_ = false;
  int queuedOutput_ = 0;
  int reads_ = 0;
  platform::CommTimeouts timeouts_{};
  platform::LineSettings line_{};
  std::vector<Bytes> writeCalls_;
  std::vector<uint32_t> writeWaits_;
  Bytes received_;
  std::vector<std::string> events_;
};

// What a link holds: forwards to a shared fake printer and tells it when the
// link lets go, so the test can look at the printer afterwards.
class FakePortHandle : public platform::SerialPort {
 public:
  FakePortHandle(std::shared_ptr<FakePrinterPort> port, std::function<void()> onClose)
      : port_(std::move(port)), onClose_(std::move(onClose)) {}
  ~FakePortHandle() override {
    port_->MarkClosed();
    if (onClose_) onClose_();
  }
  bool SetupQueues(uint32_t in, uint32_t out) override { return port_->SetupQueues(in, out); }
  bool Purge(unsigned flags) override { return port_->Purge(flags); }
  bool GetTimeouts(platform::CommTimeouts& t) override { return port_->GetTimeouts(t); }
  bool SetTimeouts(const platform::CommTimeouts& t) override { return port_->SetTimeouts(t); }
  bool GetLineSettings(platform::LineSettings& s) override { return port_->GetLineSettings(s); }
  bool SetLineSettings(const platform::LineSettings& s) override {
    return port_->SetLineSettings(s);
  }
  bool GetModemStatus(platform::ModemStatus& s) override { return port_->GetModemStatus(s); }
  int QueuedInput() override { return port_->QueuedInput(); }
  int QueuedOutput() override { return port_->QueuedOutput(); }
  int Read(uint8_t* buffer, int size) override { return port_->Read(buffer, size); }
  int Write(const uint8_t* data, int size, uint32_t waitMs) override {
    return port_->Write(data, size, waitMs);
  }
  platform::WriteResult WriteWithin(const uint8_t* data, int size, uint32_t waitMs) override {
    return port_->WriteWithin(data, size, waitMs);
  }
  bool WaitReadable(uint32_t ms) override { return port_->WaitReadable(ms); }

 private:
  std::shared_ptr<FakePrinterPort> port_;
  std::function<void()> onClose_;
};

// Serial ports by device path; a port is not shared (a second open of a
// port in use fails, as with CreateFileA without sharing).
class FakeSerialPorts : public platform::SerialPorts {
 public:
  explicit FakeSerialPorts(FakeClock& clock) : clock_(clock) {}

  std::shared_ptr<FakePrinterPort> Add(const std::string& devicePath) {
    std::lock_guard<std::mutex> g(lock_);
    auto port = std::make_shared<FakePrinterPort>(clock_);
    ports_[devicePath] = port;
    return port;
  }
  struct Opened {
    std::string path;
    bool overlapped;
  };
  std::vector<Opened> opens() {
    std::lock_guard<std::mutex> g(lock_);
    return opens_;
  }
  int held() {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(inUse_.size());
  }
  int LastError() override {
    std::lock_guard<std::mutex> g(lock_);
    return lastError_;
  }

  // Opens of the port fail with this OS error, as when another program holds it.
  void FailOpens(const std::string& devicePath, int osError) {
    std::lock_guard<std::mutex> g(lock_);
    openErrors_[devicePath] = osError;
  }

  std::unique_ptr<platform::SerialPort> Open(const std::string& devicePath,
                                             bool overlapped) override {
    std::lock_guard<std::mutex> g(lock_);
    opens_.push_back({devicePath, overlapped});
    lastError_ = 0;
    if (auto failing = openErrors_.find(devicePath); failing != openErrors_.end()) {
      lastError_ = failing->second;
      return nullptr;
    }
    auto it = ports_.find(devicePath);
    if (it == ports_.end() || inUse_.count(devicePath)) return nullptr;
    inUse_.insert(devicePath);
    return std::make_unique<FakePortHandle>(it->second, [this, devicePath] {
      std::lock_guard<std::mutex> g(lock_);
      inUse_.erase(devicePath);
    });
  }

 private:
  FakeClock& clock_;
  std::mutex lock_;
  std::map<std::string, std::shared_ptr<FakePrinterPort>> ports_;
  std::set<std::string> inUse_;
  std::vector<Opened> opens_;
  std::map<std::string, int> openErrors_;
  int lastError_ = 0;
};

}  // namespace fakes
