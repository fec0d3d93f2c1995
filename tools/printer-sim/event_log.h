// Thread-safe collector of event lines with waiting, so tests react to what
// the simulator reports instead of sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/printer-sim/printer.h"

namespace printersim {

class EventLog {
 public:
  // Oldest lines are forgotten beyond this many.
  static constexpr size_t kMaxLines = 100000;

  // A sink that adds to this log (the log must outlive its users).
  EventSink Sink();
  void Add(const std::string& line);

  // Waits for the next line at or after the cursor that starts with
  // `prefix`, returns it and moves the cursor past it (lines before it are
  // passed over for later calls too); nullopt on timeout.
  std::optional<std::string> Next(std::string_view prefix, std::chrono::milliseconds timeout);
  // Moves the cursor past everything logged so far.
  void Skip();
  // Lines at or after the cursor starting with `prefix`, without waiting.
  std::vector<std::string> Pending(std::string_view prefix) const;
  std::vector<std::string> Lines() const;
  // All lines, newline-separated, for failure messages.
  std::string Dump() const;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::string> lines_;
  size_t first_ = 0;   // Sequence number of lines_.front().
  size_t cursor_ = 0;  // Sequence number of the next line Next() looks at.
};

}  // namespace printersim
