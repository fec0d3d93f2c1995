// ComLink: a receipt printer on a serial port ("COM3"). Open sets the port
// up (queues, purge, time-outs with a write multiplier per rate, 8N1 with DTR
// and RTS on and no flow control) and starts the reader; writes go out in
// 64-byte chunks of at most 1000 ms each; the reader enables Automatic Status
// Back, forwards the printer's replies, watches CTS for a printer switched
// off and keeps the status flags by the serial status table.
//
// A port whose modem lines cannot be read (a pseudo-terminal, Wine's
// pty-backed ports) tells nothing about CTS: printerOff stays as it was.
#pragma once

#include <cstdint>
#include <string>

#include "links/local_port_link.h"
#include "platform/serial_port.h"

namespace links {

class ComLink : public LocalPortLink {
 public:
  ComLink(platform::Clock& clock, platform::SerialPorts& ports,
          ReaderMode mode = ReaderMode::kThread);
  ~ComLink() override;

  // `target` is the port name ("COM3"), `parameter` the rate index (3 is
  // 1200 baud ... 10 is 115200). 0 open and reader running; 1 failure: the
  // port is missing, in use or no serial device, or the index is unknown
  // (the front then closes the port).
  int Open(const std::string& target, int parameter) override;
  // 1 all written; 0 not open, nothing to write, or a chunk that failed or
  // did not complete within 1000 ms (the rest is dropped).
  int Write(const uint8_t* data, int length) override;
  void ReaderTurn() override;

  // Write's chunk size and the bound on each chunk.
  static constexpr int kChunkBytes = 64;
  static constexpr uint32_t kChunkWaitMs = 1000;

 private:
  void ConfigurePort(int baudRate, platform::LineSettings line);
  void WatchCts();
};

}  // namespace links
