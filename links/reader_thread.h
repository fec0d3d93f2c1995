// A device link's reader thread with its `readerEnded` signal: the body runs
// on its own thread and the signal is set as the thread's last act, so the
// closing thread can wait for it without limit or for a bounded time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace links {

class ReaderThread {
 public:
  ReaderThread() = default;
  ReaderThread(const ReaderThread&) = delete;
  ReaderThread& operator=(const ReaderThread&) = delete;
  // The owner stops the body first; this only joins.
  ~ReaderThread();

  // Clears the signal and starts `body`. A thread from an earlier start that
  // has ended is joined first; the owner makes sure it has (Running()).
  void Start(std::function<void()> body);
  bool Started() const { return thread_.joinable(); }
  // Started and not yet ended.
  bool Running();
  // Waits for the signal, without limit; then joins.
  void WaitEnded();
  // Waits at most `timeoutMs` (real time); joins when the signal came.
  bool WaitEnded(uint32_t timeoutMs);

 private:
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool ended_ = true;
};

}  // namespace links
