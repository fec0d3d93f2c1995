// The application side of a serial port in tests: opens a path like a
// point-of-sale program opens its COM port (raw, 8N1), writes, reads with a
// time limit, closes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace support {

class SerialClient {
 public:
  SerialClient() = default;
  ~SerialClient() { Close(); }
  SerialClient(const SerialClient&) = delete;
  SerialClient& operator=(const SerialClient&) = delete;

  bool Open(const std::string& path, int baud = 9600);
  // Waits up to the time for the path to appear, then opens it.
  bool OpenWhenPresent(const std::string& path, int timeoutMs);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Writes everything, waiting while the port's queue is full; false when
  // the time is up first or the port fails.
  bool Write(const std::vector<uint8_t>& bytes, int timeoutMs = 30000);
  bool Write(const std::string& bytes, int timeoutMs = 30000);
  // Reads until `count` bytes came or the time is up.
  std::vector<uint8_t> Read(size_t count, int timeoutMs);

 private:
  int fd_ = -1;
};

}  // namespace support
