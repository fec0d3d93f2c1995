// What ComLink and LptLink share: a local port opened as a file through the
// serial ports, the read that asks for the input queue first, and the close.
//
// Threads: the caller's thread opens, writes and closes; the reader thread
// reads and writes the status-enable command. Whole writes hold portLock(),
// so the two writers never interleave on the wire, and the port is released
// only under it once the reader has ended.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "links/device_link.h"

namespace platform {
class SerialPort;
class SerialPorts;
}  // namespace platform

namespace links {

// The read time-outs both links set: interval 50 ms, total 100 ms.
inline constexpr uint32_t kPortReadInterval = 50;
inline constexpr uint32_t kPortReadTotal = 100;

class LocalPortLink : public DeviceLink {
 public:
  // Releases the port, after the reader has ended. Always 0.
  int Close() override;
  // The input queue first: nothing queued reads nothing. Otherwise up to
  // `size` bytes as the read time-outs allow; 0 when none, or on failure.
  int Read(uint8_t* buffer, int size) override;

  bool holdsPort() const;

 protected:
  LocalPortLink(platform::Clock& clock, platform::SerialPorts& ports, ReaderMode mode)
      : DeviceLink(clock, mode), ports_(ports) {}

  // Opens the device path for overlapped I/O; false when it cannot be opened.
  bool OpenPort(const std::string& devicePath);
  // The first steps of every open once the port is held: open 1, 8192-byte
  // queues, a purge of everything.
  void PreparePort();
  // The last: the reader starts with statusRequest set, so that it enables
  // Automatic Status Back first thing, and gets 250 ms after its first status.
  int StartReaderAskingStatus();

  std::mutex& portLock() { return portLock_; }
  // The port while held; only the reader (between open and close) and
  // holders of portLock() use it.
  platform::SerialPort* port() const { return port_.get(); }

 private:
  platform::SerialPorts& ports_;
  mutable std::mutex portLock_;
  std::unique_ptr<platform::SerialPort> port_;
};

}  // namespace links
