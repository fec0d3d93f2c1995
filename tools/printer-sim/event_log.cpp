// Event line collection and waiting.
#include "tools/printer-sim/event_log.h"

#include <algorithm>

namespace printersim {

EventSink EventLog::Sink() {
  return [this](const std::string& line) { Add(line); };
}

void EventLog::Add(const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    lines_.push_back(line);
    if (lines_.size() > kMaxLines) {
      lines_.pop_front();
      ++first_;
    }
  }
  cv_.notify_all();
}

std::optional<std::string> EventLog::Next(std::string_view prefix,
                                          std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    cursor_ = std::max(cursor_, first_);
    for (; cursor_ < first_ + lines_.size(); ++cursor_) {
      const std::string& line = lines_[cursor_ - first_];
      if (line.starts_with(prefix)) {
        ++cursor_;
        return line;
      }
    }
    if (cv_.wait_until(lock, deadline) == std::cv_status::timeout) {
      // One last look: the line may have arrived with the timeout.
      if (first_ + lines_.size() == cursor_) return std::nullopt;
    }
  }
}

void EventLog::Skip() {
  std::lock_guard<std::mutex> lock(mu_);
  cursor_ = first_ + lines_.size();
}

std::vector<std::string> EventLog::Pending(std::string_view prefix) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::string> out;
  for (size_t i = std::max(cursor_, first_); i < first_ + lines_.size(); ++i) {
    if (lines_[i - first_].starts_with(prefix)) out.push_back(lines_[i - first_]);
  }
  return out;
}

std::vector<std::string> EventLog::Lines() const {
  std::lock_guard<std::mutex> lock(mu_);
  return {lines_.begin(), lines_.end()};
}

std::string EventLog::Dump() const {
  std::string out;
  for (const std::string& line : Lines()) out += line + "\n";
  return out;
}

}  // namespace printersim
