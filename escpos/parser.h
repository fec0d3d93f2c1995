// Incremental ESC/POS stream parser.
//
// Splits the host's byte stream into text and commands, skipping each
// command's parameters and payload by its declared length so that bytes of a
// raster image or a QR payload are never taken for commands. Pure: no I/O,
// no clock; chunks may split commands anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "escpos/command.h"

namespace escpos {

// Sees the stream in order as the parser splits it, for consumers that need
// the print data itself (the renderer), not only the command boundaries.
class StreamObserver {
 public:
  virtual ~StreamObserver() = default;
  // Bytes outside commands: printable text and control characters.
  virtual void OnText(const uint8_t* data, size_t len) = 0;
  // Variable-length bytes of `cmd` as they stream past; its header is
  // complete. A NUL-terminated part includes the NUL.
  virtual void OnPayload(const Command& cmd, const uint8_t* data, size_t len) = 0;
  // `cmd` is complete (after its payload).
  virtual void OnCommand(const Command& cmd) = 0;
};

class EscPosParser {
 public:
  // The observer (may be null) sees every later Feed; it must outlive them.
  void set_observer(StreamObserver* observer) { observer_ = observer; }
  // Parses one chunk; appends each command completed in it to `out`, with
  // Command::end set to the offset just past its last byte in this chunk.
  void Feed(const uint8_t* data, size_t len, std::vector<Command>* out);
  // Drops any partly received command (new connection, power cycle).
  void Reset();
  // True while in the middle of a command.
  bool InCommand() const { return phase_ != Phase::kText; }
  // Bytes of the command received so far, 0 outside one.
  uint64_t PendingBytes() const { return InCommand() ? cur_.length : 0; }

 private:
  enum class Phase { kText, kCode, kHeader, kPayload, kUntilNul };

  // Called whenever the current header target, payload or NUL-terminated
  // part is complete; sets the next phase or finishes the command.
  void Next();
  void NextDle(int step);
  void NextEsc(int step);
  void NextFs(int step);
  void NextGs(int step);
  void Classify();
  void NeedHeader(size_t total);
  void NeedPayload(uint64_t bytes);
  void Finish() { done_ = true; }
  uint8_t H(size_t i) const { return cur_.header[i]; }
  uint32_t Word(size_t i) const { return H(i) | (static_cast<uint32_t>(H(i + 1)) << 8); }

  Phase phase_ = Phase::kText;
  Command cur_;
  size_t header_target_ = 0;
  uint64_t payload_left_ = 0;
  uint32_t nul_budget_ = 0;
  uint32_t repeat_left_ = 0;
  int step_ = 0;
  bool done_ = false;
  StreamObserver* observer_ = nullptr;
};

}  // namespace escpos
