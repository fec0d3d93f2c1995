// LptLink: a receipt printer on a parallel port ("LPT1"), opened by its name
// as a file. Writes are retried within a time budget and return the count
// the printer took; the reader enables Automatic Status Back, asks again
// after two slow reads in a row (a silent printer), forwards replies and
// keeps the status flags by the parallel status table, which also sends an
// extra status-enable command when a read holds as many 0x14 as 0x10 blocks.
//
// Only the behaviour of current Windows (overlapped I/O) is built: this
// program's builds do not run on Windows 9x or NT 4.
#pragma once

#include <cstdint>
#include <string>

#include "links/local_port_link.h"
#include "links/reader_block.h"

namespace links {

class LptLink : public LocalPortLink {
 public:
  LptLink(platform::Clock& clock, platform::SerialPorts& ports,
          ReaderMode mode = ReaderMode::kThread);
  ~LptLink() override;

  // `target` is the device name exactly as configured ("LPT1"); `parameter`
  // is unused. 0 open and reader running; 1 failure (missing or busy port,
  // or a port still held from an earlier open, which the front's close
  // releases).
  int Open(const std::string& target, int parameter) override;
  // The number of bytes the printer took (0 when not open).
  int Write(const uint8_t* data, int length) override;
  // The write gives the number of bytes written.
  bool WroteAll(int result, int length) const override { return result == length; }
  void ReaderTurn() override;

  // The write time-out constant set at open, and the write's budget: each
  // attempt may take 500 ms plus 4 ms per byte of buffers of 512 bytes or
  // more; attempts are repeated while less than 500 ms have passed.
  static constexpr uint32_t kWriteTimeoutMs = 1000;
  static constexpr uint32_t kWriteBaseMs = 500;
  static constexpr int kLargeWrite = 512;
  static constexpr uint32_t kLargeWriteMsPerByte = 4;

 private:
  void OnlineCountRule(const ReaderBlock& block);
};

}  // namespace links
