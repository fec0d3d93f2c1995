// A PrinterLink that records what the relay does with it and answers from a
// script: open results, GetStatus values (the last one repeats) and print
// results (0 when the script runs out).
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "links/printer_link.h"

namespace fakes {

class FakeLink : public links::PrinterLink {
 public:
  int OpenLink(const std::string& target, int parameter) override {
    std::lock_guard<std::mutex> g(lock_);
    opens.push_back(target + "/" + std::to_string(parameter));
    int r = 0;
    if (!openResults.empty()) {
      r = openResults.front();
      openResults.pop_front();
    }
    events.push_back(r == 0 ? "open" : "open failed");
    return r;
  }
  int CloseLink() override {
    std::lock_guard<std::mutex> g(lock_);
    ++closes;
    events.push_back("close");
    return 0;
  }
  int WriteLink(const uint8_t* data, int length) override {
    std::lock_guard<std::mutex> g(lock_);
    writes.emplace_back(data, data + (length > 0 ? length : 0));
    events.push_back("write " + std::to_string(length));
    if (!failWrites.empty()) {
      const bool fail = failWrites.front();
      failWrites.pop_front();
      if (fail) {
        undelivered += static_cast<uint64_t>(length);
        return 0;
      }
    }
    return 1;
  }
  std::string FailureCause() override { return failureCause; }
  uint64_t TakeUndelivered() override {
    std::lock_guard<std::mutex> g(lock_);
    return std::exchange(undelivered, 0);
  }
  uint64_t TakeDroppedReplies() override {
    std::lock_guard<std::mutex> g(lock_);
    return std::exchange(droppedReplies, 0);
  }
  unsigned GetStatus() override {
    unsigned s;
    {
      std::lock_guard<std::mutex> g(lock_);
      ++statusCalls;
      s = statuses.empty() ? 0u : statuses.front();
      if (statuses.size() > 1) statuses.pop_front();
    }
    return s;
  }
  int SetReplyPort(std::shared_ptr<platform::SerialPort> port) override {
    std::lock_guard<std::mutex> g(lock_);
    replyPort = std::move(port);
    return 0;
  }
  unsigned TakeReplyCopy(links::ReplyCopy& buffer) override {
    std::lock_guard<std::mutex> g(lock_);
    buffer.fill(0);
    unsigned n = static_cast<unsigned>(pendingReplies.size());
    for (unsigned i = 0; i < n && i < buffer.size(); ++i) buffer[i] = pendingReplies[i];
    pendingReplies.clear();
    return n;
  }
  unsigned WaitPrintResult(uint32_t timeoutMs, const std::atomic<int>* abandon) override {
    std::function<void()> hook;
    unsigned r = 0;
    {
      std::lock_guard<std::mutex> g(lock_);
      waitTimeouts.push_back(timeoutMs);
      if (!waitResults.empty()) {
        r = waitResults.front();
        waitResults.pop_front();
      }
      events.push_back("wait " + std::to_string(r));
      hook = onWait;
    }
    if (hook) hook();
    // Abandoned: no answer is waited for.
    if (abandon && abandon->load()) return links::kNoResponse;
    return r;
  }

  // Everything written, concatenated.
  std::vector<uint8_t> Written() {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<uint8_t> all;
    for (const auto& w : writes) all.insert(all.end(), w.begin(), w.end());
    return all;
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> g(lock_);
    return events;
  }
  size_t WaitCount() {
    std::lock_guard<std::mutex> g(lock_);
    return waitTimeouts.size();
  }
  void SetStatuses(std::initializer_list<unsigned> values) {
    std::lock_guard<std::mutex> g(lock_);
    statuses.assign(values.begin(), values.end());
  }

  // Script (set before the relay runs, or under the test's own ordering).
  std::deque<int> openResults;
  std::deque<unsigned> statuses;
  std::deque<unsigned> waitResults;
  std::deque<bool> failWrites;  // One per write, in order; true fails it.
  std::string failureCause;     // what FailureCause() says
  std::vector<uint8_t> pendingReplies;
  std::function<void()> onWait;

  // Record.
  std::vector<std::string> opens;
  std::vector<std::vector<uint8_t>> writes;
  std::vector<std::string> events;
  std::vector<uint32_t> waitTimeouts;
  std::shared_ptr<platform::SerialPort> replyPort;
  int closes = 0;
  uint64_t undelivered = 0;
  uint64_t droppedReplies = 0;  // reported by the next TakeDroppedReplies
  std::atomic<int> statusCalls{0};

 private:
  std::mutex lock_;
};

}  // namespace fakes
