// The block rules shared by the device links' readers.
#include "links/reader_block.h"

#include <algorithm>
#include <cstring>

#include "links/escpos.h"

namespace links {

void ReaderBlock::Grow(int count) {
  if (count > 0) length = std::min(kReaderBlockSize, length + count);
}

void ReaderBlock::Assign(const uint8_t* data, int count) {
  bytes.fill(0);
  length = std::clamp(count, 0, kReaderBlockSize);
  if (length > 0) std::memcpy(bytes.data(), data, static_cast<size_t>(length));
}

bool ProcessIdReplyAtStart(const ReaderBlock& block) {
  return block.length >= 11 && block.bytes[0] == kProcessIdReplyLead &&
         block.bytes[5] == kProcessIdDigit;
}

bool ProcessIdReplyAtEnd(const ReaderBlock& block) {
  const int n = block.length;
  return n >= 7 && block.bytes[n - 7] == kProcessIdReplyLead &&
         block.bytes[n - 2] == kProcessIdDigit;
}

bool ProcessIdReplyInside(const ReaderBlock& block) {
  if (block.length < 11) return false;
  for (int i = 0; i <= block.length - 8; ++i) {
    if (block.bytes[i] == kProcessIdReplyLead && block.bytes[i + 3] == kProcessIdDigit &&
        block.bytes[i + 4] == kProcessIdDigit && block.bytes[i + 5] == kProcessIdDigit)
      return true;
  }
  return false;
}

bool SplitReplyWatch::Completes(const ReaderBlock& block) {
  const int n = block.length;
  if (n <= 0) return false;
  constexpr int kReply = static_cast<int>(kProcessIdReply.size());
  bool completes = false;
  // k bytes of the reply at the end of what came before, the other 7-k at
  // the start of this block.
  for (int k = 1; k <= tailLength_ && !completes; ++k) {
    if (n < kReply - k) continue;
    completes = std::equal(tail_.begin() + (tailLength_ - k), tail_.begin() + tailLength_,
                           kProcessIdReply.begin()) &&
                std::equal(block.bytes.begin(), block.bytes.begin() + (kReply - k),
                           kProcessIdReply.begin() + k);
  }
  // Keep the last kTail bytes of everything read so far.
  const int keepOld = std::max(0, std::min(tailLength_, kTail - n));
  std::array<uint8_t, kTail> next{};
  std::copy(tail_.begin() + (tailLength_ - keepOld), tail_.begin() + tailLength_, next.begin());
  const int fromBlock = std::min(n, kTail - keepOld);
  std::copy(block.bytes.begin() + (n - fromBlock), block.bytes.begin() + n, next.begin() + keepOld);
  tail_ = next;
  tailLength_ = keepOld + fromBlock;
  return completes;
}

void RemoveKeepAlive(ReaderBlock& block) {
  const int n = block.length;
  if (n < kKeepAliveLength) return;
  const bool leading = n == kKeepAliveLength
                           ? std::memcmp(block.bytes.data(), kKeepAlive, kKeepAliveLength) == 0
                           : block.bytes[0] == kKeepAlive[0] && block.bytes[4] == kKeepAlive[4];
  const int tail = n - kKeepAliveLength;
  const bool trailing =
      block.bytes[tail] == kKeepAlive[0] && block.bytes[tail + 4] == kKeepAlive[4];
  if (!leading && !trailing) return;
  if (leading) {
    std::memmove(block.bytes.data(), block.bytes.data() + kKeepAliveLength,
                 static_cast<size_t>(n - kKeepAliveLength));
  }
  block.length = n - kKeepAliveLength;
}

bool StatusBlock::plain() const {
  return b1 == 0 && ((b2 == 0 && (b3 == 0 || b3 == 0x0F)) || (b2 == 3 && b3 == 0x0F));
}

StatusBlock LastStatusBlock(const ReaderBlock& block) {
  const uint8_t* last = block.bytes.data() + block.length - 4;
  return StatusBlock{last[0], last[1], last[2], last[3]};
}

}  // namespace links
