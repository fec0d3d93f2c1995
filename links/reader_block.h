// One reader turn's block of printer bytes and the rules every device link's
// reader applies to it: the process-ID reply tests, removal of the printer's
// "_GET_TIME" keep-alive and the split of the trailing 4-byte Automatic Status
// Back block into plain and error blocks.
#pragma once

#include <array>
#include <cstdint>

namespace links {

inline constexpr int kReaderBlockSize = 256;

// A zeroed 256-byte buffer and the count of valid bytes; appends never go
// past its end.
struct ReaderBlock {
  std::array<uint8_t, kReaderBlockSize> bytes{};
  int length = 0;

  int Room() const { return kReaderBlockSize - length; }
  uint8_t* End() { return bytes.data() + length; }
  // Adds what a read put at End(); negative counts add nothing.
  void Grow(int count);
  void Assign(const uint8_t* data, int count);
};

// At least 11 bytes with "7" at offset 0 and "F" at offset 5.
bool ProcessIdReplyAtStart(const ReaderBlock& block);
// At least 7 bytes with "7" at length-7 and "F" at length-2.
bool ProcessIdReplyAtEnd(const ReaderBlock& block);
// At least 11 bytes with "7" followed, three bytes on, by "FFF" at any offset
// from 0 to length-8 (a reply inside a gathered block).
bool ProcessIdReplyInside(const ReaderBlock& block);

// A process-ID reply that one read cut in two (a slow line, a printer that
// pauses mid-answer): the reply's first bytes end one block and the rest
// starts a later one, so none of the tests above sees it. Fed every block in
// turn, it keeps the last few bytes read and says when they and the block's
// first bytes make the whole reply. Blocks with nothing read change nothing.
class SplitReplyWatch {
 public:
  bool Completes(const ReaderBlock& block);
  void Reset() { tailLength_ = 0; }

 private:
  static constexpr int kTail = 6;  // a reply less its last byte
  std::array<uint8_t, kTail> tail_{};
  int tailLength_ = 0;
};

// A "_GET_TIME" keep-alive at the front (the whole text for 9 bytes, "_" at
// offsets 0 and 4 for longer ones) is moved out of the front; one at the end
// ("_" at length-9 and length-5) is cut off. A block without one is left as
// it is: status blocks that arrive together must keep their last block.
void RemoveKeepAlive(ReaderBlock& block);

// The last four bytes of a block: b0 the status byte, b2 the paper sensors.
struct StatusBlock {
  uint8_t b0 = 0;
  uint8_t b1 = 0;
  uint8_t b2 = 0;
  uint8_t b3 = 0;
  // (b1, b2, b3) is (0, 0, 0), (0, 0, 0x0F) or (0, 3, 0x0F); else an error block.
  bool plain() const;
};

// Requires block.length >= 4.
StatusBlock LastStatusBlock(const ReaderBlock& block);

}  // namespace links
