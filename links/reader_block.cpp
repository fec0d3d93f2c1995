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
