// ReprintQueue.
#include "core/reprint_queue.h"

namespace core {

void ReprintQueue::Append(const uint8_t* data, int length) {
  if (length < 0) length = 0;
  entries_.emplace_back(data, data + length);
}

void ReprintQueue::Replay(links::PrinterLink& link) const {
  for (const auto& entry : entries_) {
    if (entry.empty()) break;
    link.WriteLink(entry.data(), static_cast<int>(entry.size()));
  }
}

size_t ReprintQueue::bytes() const {
  size_t total = 0;
  for (const auto& entry : entries_) total += entry.size();
  return total;
}

}  // namespace core
