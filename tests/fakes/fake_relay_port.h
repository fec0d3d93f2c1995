// A relay end whose input is scripted against the fake clock: each chunk
// becomes readable at its time. Waiting for input moves the fake clock to the
// next chunk (or by the time waited), so jobs and gaps run in microseconds.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/port_wait.h"
#include "platform/serial_port.h"
#include "tests/fakes/fake_platform.h"

namespace fakes {

class FakeRelayPort : public platform::SerialPort {
 public:
  explicit FakeRelayPort(FakeClock& clock) : clock_(clock) {}

  // Bytes that arrive `afterMs` after the previous scripted chunk (or now).
  void Arrive(uint32_t afterMs, std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> g(lock_);
    scriptTime_ += afterMs;
    chunks_.push_back({scriptTime_, std::move(bytes)});
  }
  void StartScriptAt(uint32_t ms) { scriptTime_ = ms; }

  bool SetupQueues(uint32_t, uint32_t) override { return true; }
  bool Purge(unsigned) override { return true; }
  bool GetTimeouts(platform::CommTimeouts& t) override {
    t = timeouts;
    return true;
  }
  bool SetTimeouts(const platform::CommTimeouts& t) override {
    timeouts = t;
    return !failSetTimeouts;
  }
  bool GetLineSettings(platform::LineSettings& s) override {
    s = line;
    return !failGetState;
  }
  bool SetLineSettings(const platform::LineSettings& s) override {
    line = s;
    return !failSetState;
  }
  bool GetModemStatus(platform::ModemStatus& status) override {
    status.dsr = dsr;
    return true;
  }
  int QueuedInput() override {
    if (failing) return -1;
    if (claimsInput) return 1;
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(ReadyLocked());
  }
  int Read(uint8_t* buffer, int size) override {
    if (onRead) onRead(reads + 1);
    std::lock_guard<std::mutex> g(lock_);
    ++reads;
    if (failing) return -1;
    int got = 0;
    while (got < size && !chunks_.empty() && chunks_.front().at <= clock_.NowMs()) {
      auto& chunk = chunks_.front();
      int take = std::min<int>(size - got, static_cast<int>(chunk.bytes.size()));
      std::copy(chunk.bytes.begin(), chunk.bytes.begin() + take, buffer + got);
      got += take;
      chunk.bytes.erase(chunk.bytes.begin(), chunk.bytes.begin() + take);
      if (chunk.bytes.empty()) chunks_.pop_front();
    }
    return got;
  }
  int Write(const uint8_t* data, int size, uint32_t) override {
    std::lock_guard<std::mutex> g(lock_);
    written.insert(written.end(), data, data + size);
    return size;
  }
  bool WaitReadable(uint32_t timeoutMs) override {
    uint32_t advance = timeoutMs;
    {
      std::lock_guard<std::mutex> g(lock_);
      ++waits;
      if (ReadyLocked()) return true;
      if (!chunks_.empty()) {
        uint32_t until = chunks_.front().at - clock_.NowMs();
        if (until < advance) advance = until;
      }
    }
    clock_.Advance(advance);
    std::lock_guard<std::mutex> g(lock_);
    return ReadyLocked() > 0;
  }

  bool Exhausted() {
    std::lock_guard<std::mutex> g(lock_);
    return chunks_.empty();
  }
  // Milliseconds until the next scripted chunk can be read (0: now), or
  // UINT32_MAX when the script is used up.
  uint32_t MsUntilInput() {
    std::lock_guard<std::mutex> g(lock_);
    if (chunks_.empty()) return UINT32_MAX;
    const uint32_t now = clock_.NowMs();
    return chunks_.front().at <= now ? 0 : chunks_.front().at - now;
  }

  platform::CommTimeouts timeouts{};
  platform::LineSettings line{};
  bool dsr = true;
  bool failSetTimeouts = false;
  bool failGetState = false;
  bool failSetState = false;
  // A device in error: reads and the input count fail, and a wait on it
  // ends at once (as poll reports an error or a hang-up).
  std::atomic<bool> failing{false};
  // Says input is queued that no read ever gets.
  std::atomic<bool> claimsInput{false};
  // The next waits on it that end at once without input (events of input
  // that was read already).
  std::atomic<int> lateEvents{0};
  std::vector<uint8_t> written;
  // Expires when the port object is destroyed (the device is released).
  std::shared_ptr<int> alive = std::make_shared<int>(0);
  // Called before each read with its number (1 for the first).
  std::function<void(int)> onRead;
  int reads = 0;
  int waits = 0;

 private:
  struct Chunk {
    uint32_t at;
    std::vector<uint8_t> bytes;
  };
  size_t ReadyLocked() {
    size_t n = 0;
    for (const auto& c : chunks_)
      if (c.at <= clock_.NowMs()) n += c.bytes.size();
    return n;
  }

  FakeClock& clock_;
  std::mutex lock_;
  std::deque<Chunk> chunks_;
  uint32_t scriptTime_ = 0;
};

// The blocking of a port wait on the fake clock: a block on scripted relay
// ends moves the clock to the next chunk of any of them (or by the time
// asked), so waits run in microseconds. Any other port cannot be waited on.
class FakePortSignals : public platform::PortSignals {
 public:
  explicit FakePortSignals(FakeClock& clock) : clock_(clock) {}

  int Block(std::span<platform::SerialPort* const> ports, std::span<const uint8_t> polled,
            uint32_t timeoutMs) override {
    ++blocks;
    if (woken_.exchange(false)) return kWoken;
    uint32_t advance = timeoutMs;
    for (size_t i = 0; i < ports.size(); ++i) {
      if (!ports[i] || polled[i]) continue;
      auto* port = dynamic_cast<FakeRelayPort*>(ports[i]);
      if (!port || port->failing || port->QueuedInput() > 0) return static_cast<int>(i);
      if (port->lateEvents > 0) {
        --port->lateEvents;
        return static_cast<int>(i);
      }
      ++port->waits;
      advance = std::min(advance, port->MsUntilInput());
    }
    clock_.Advance(advance);
    for (size_t i = 0; i < ports.size(); ++i)
      if (ports[i] && !polled[i] && ports[i]->QueuedInput() > 0) return static_cast<int>(i);
    return kTimeUp;
  }
  void Wake() override { woken_ = true; }

  std::atomic<int> blocks{0};

 private:
  FakeClock& clock_;
  std::atomic<bool> woken_{false};
};

// Hands out prepared ports by device path; unknown paths fail to open.
class FakeSerialPorts : public platform::SerialPorts {
 public:
  std::unique_ptr<platform::SerialPort> Open(const std::string& devicePath, bool) override {
    opened.push_back(devicePath);
    auto it = prepared.find(devicePath);
    if (it == prepared.end() || !it->second) return nullptr;
    return std::move(it->second);
  }
  // Waits on the fake clock once the test gives one; before, the ports are polled.
  std::unique_ptr<platform::PortSignals> NewPortSignals() override {
    if (!clock) return platform::SerialPorts::NewPortSignals();
    return std::make_unique<FakePortSignals>(*clock);
  }
  std::map<std::string, std::unique_ptr<platform::SerialPort>> prepared;
  std::vector<std::string> opened;
  FakeClock* clock = nullptr;
};

}  // namespace fakes
