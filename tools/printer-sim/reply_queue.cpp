// Answer pacing for split mode.
#include "tools/printer-sim/reply_queue.h"

#include <algorithm>

namespace printersim {

bool ReplyQueue::Push(Bytes reply, bool split, Clock::time_point now) {
  if (pieces_.size() + 2 > kMaxPieces || reply.empty()) return false;
  const Clock::time_point due = pieces_.empty() ? now : std::max(now, pieces_.back().due);
  if (!split || reply.size() < 2) {
    pieces_.push_back({due, std::move(reply)});
    return true;
  }
  const auto half = static_cast<std::ptrdiff_t>(reply.size() / 2);
  pieces_.push_back({due, Bytes(reply.begin(), reply.begin() + half)});
  pieces_.push_back({due + kSplitGap, Bytes(reply.begin() + half, reply.end())});
  return true;
}

bool ReplyQueue::PopDue(Clock::time_point now, Bytes* piece) {
  if (pieces_.empty() || pieces_.front().due > now) return false;
  *piece = std::move(pieces_.front().bytes);
  pieces_.pop_front();
  return true;
}

std::optional<Clock::time_point> ReplyQueue::NextDue() const {
  if (pieces_.empty()) return std::nullopt;
  return pieces_.front().due;
}

}  // namespace printersim
