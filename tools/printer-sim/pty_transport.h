// Pseudo-terminal transport: a serial-like device at a fixed PATH (a symlink
// to /dev/pts/N) that the relay's serial link or Wine's COM port mapping can
// open like a COM port. The simulator holds the master side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/printer-sim/transport.h"

namespace printersim {

class PtyTransport : public Transport {
 public:
  // How often a closed device is checked for being reopened.
  static constexpr int kHangupPollMs = 20;

  explicit PtyTransport(std::string link_path);
  ~PtyTransport() override;

  int Open(std::string* error) override;
  // Closes the master and removes the link if it still points to our device.
  void Close() override;
  std::string Description() const override;
  void Poll(int wake_fd, int timeout_ms, size_t max_read, TransportListener* listener) override;
  bool Connected() const override { return connected_; }
  int Send(const uint8_t* data, size_t len) override;
  long SetPowered(bool on, TransportListener* listener) override;

  const std::string& link_path() const { return link_; }
  const std::string& device_path() const { return device_; }

 private:
  void Hangup(TransportListener* listener);
  // Discards bytes written to a device nobody has open, so the next opener
  // does not read stale answers (a real port loses them too).
  void FlushDeviceInput();

  std::string link_;
  std::string device_;
  int master_ = -1;
  bool connected_ = false;
  bool powered_ = true;
  std::vector<uint8_t> buf_;
};

}  // namespace printersim
