// Outgoing answers waiting to be written, optionally split in two pieces sent
// 100 ms apart (to test hosts that must reassemble answers).
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>

#include "tools/printer-sim/printer.h"

namespace printersim {

class ReplyQueue {
 public:
  static constexpr std::chrono::milliseconds kSplitGap{100};
  static constexpr size_t kMaxPieces = 8192;

  // Queues an answer behind the earlier ones. Split answers of 2 bytes or
  // more go out as the first half (rounded down) and, kSplitGap later, the
  // rest. False when the queue is full.
  bool Push(Bytes reply, bool split, Clock::time_point now);
  // Takes the next piece due at `now`.
  bool PopDue(Clock::time_point now, Bytes* piece);
  std::optional<Clock::time_point> NextDue() const;
  void Clear() { pieces_.clear(); }
  bool empty() const { return pieces_.empty(); }

 private:
  struct Piece {
    Clock::time_point due;
    Bytes bytes;
  };
  std::deque<Piece> pieces_;
};

}  // namespace printersim
