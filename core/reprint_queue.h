// The chunks of the job in progress, in arrival order, kept so the job can be
// sent again after a fault. Used by the relay worker's thread alone.
#pragma once

#include <cstdint>
#include <vector>

#include "links/printer_link.h"

namespace core {

class ReprintQueue {
 public:
  void Append(const uint8_t* data, int length);
  // Writes every entry, from the oldest, through the link; stops early at an
  // empty entry.
  void Replay(links::PrinterLink& link) const;
  void Clear() { entries_.clear(); }
  size_t size() const { return entries_.size(); }
  size_t bytes() const;

 private:
  std::vector<std::vector<uint8_t>> entries_;
};

}  // namespace core
