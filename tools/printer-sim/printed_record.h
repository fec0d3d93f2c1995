// Record of what the printer actually printed: every received byte, appended
// in order once the printer has printed (executed) it. Bytes it threw away
// unprinted (power off with data still held, a buffer clear) never appear, so
// the file shows what came out of the printer rather than what reached it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tools/printer-sim/record_file.h"

namespace printersim {

class PrintedRecord {
 public:
  // Bytes waiting to be printed are kept up to this much; beyond it the
  // record cannot be exact and Overflowed() says so.
  static constexpr uint64_t kMaxWaiting = 64ull << 20;

  // Opens `path` for appending. 0 or -1 with *error.
  int Open(const std::string& path, std::string* error);
  void Close();
  bool is_open() const { return file_.is_open(); }

  // Bytes the printer took in, in stream order.
  void Received(const uint8_t* data, size_t len);
  // The next `bytes` received bytes were printed (appended) or thrown away.
  // 0, or -1 when the file could not be written.
  int Consumed(uint64_t bytes, bool printed);
  // True once bytes were left out because too many waited to be printed.
  bool Overflowed() const { return overflowed_; }

 private:
  RecordFile file_;
  std::deque<std::vector<uint8_t>> waiting_;
  size_t front_done_ = 0;  // Bytes of waiting_.front() already consumed.
  uint64_t waiting_bytes_ = 0;
  uint64_t skipped_ = 0;  // Received bytes not kept (over the limit), consumed last.
  bool overflowed_ = false;
};

}  // namespace printersim
