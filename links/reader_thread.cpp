// The reader thread and its ended signal.
#include "links/reader_thread.h"

#include <chrono>
#include <utility>

namespace links {

ReaderThread::~ReaderThread() {
  if (thread_.joinable()) thread_.join();
}

void ReaderThread::Start(std::function<void()> body) {
  if (thread_.joinable()) thread_.join();
  {
    std::lock_guard<std::mutex> g(lock_);
    ended_ = false;
  }
  thread_ = std::thread([this, body = std::move(body)] {
    body();
    std::lock_guard<std::mutex> g(lock_);
    ended_ = true;
    changed_.notify_all();
  });
}

bool ReaderThread::Running() {
  std::lock_guard<std::mutex> g(lock_);
  return thread_.joinable() && !ended_;
}

void ReaderThread::WaitEnded() {
  {
    std::unique_lock<std::mutex> g(lock_);
    changed_.wait(g, [this] { return ended_; });
  }
  if (thread_.joinable()) thread_.join();
}

bool ReaderThread::WaitEnded(uint32_t timeoutMs) {
  {
    std::unique_lock<std::mutex> g(lock_);
    if (!changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return ended_; }))
      return false;
  }
  if (thread_.joinable()) thread_.join();
  return true;
}

}  // namespace links
