// PrintedRecord: a queue of received bytes, written out as they are printed.
#include "tools/printer-sim/printed_record.h"

#include <algorithm>

namespace printersim {

int PrintedRecord::Open(const std::string& path, std::string* error) {
  waiting_.clear();
  front_done_ = 0;
  waiting_bytes_ = 0;
  skipped_ = 0;
  overflowed_ = false;
  return file_.Open(path, error);
}

void PrintedRecord::Close() { file_.Close(); }

void PrintedRecord::Received(const uint8_t* data, size_t len) {
  if (!file_.is_open() || len == 0) return;
  // Once a byte is skipped every later one must be too, or the record's
  // order would no longer match the printer's.
  if (skipped_ > 0 || waiting_bytes_ + len > kMaxWaiting) {
    skipped_ += len;
    overflowed_ = true;
    return;
  }
  waiting_.emplace_back(data, data + len);
  waiting_bytes_ += len;
}

int PrintedRecord::Consumed(uint64_t bytes, bool printed) {
  int result = 0;
  while (bytes > 0 && !waiting_.empty()) {
    const std::vector<uint8_t>& front = waiting_.front();
    const size_t take = static_cast<size_t>(std::min<uint64_t>(bytes, front.size() - front_done_));
    if (printed && file_.Append(front.data() + front_done_, take) != 0) result = -1;
    front_done_ += take;
    waiting_bytes_ -= take;
    bytes -= take;
    if (front_done_ == front.size()) {
      waiting_.pop_front();
      front_done_ = 0;
    }
  }
  skipped_ -= std::min(skipped_, bytes);
  return result;
}

}  // namespace printersim
