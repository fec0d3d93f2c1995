// Minimal blocking-with-deadline TCP client for the simulator tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace printersim {

class TcpTestClient {
 public:
  using Bytes = std::vector<uint8_t>;
  TcpTestClient() = default;
  TcpTestClient(const TcpTestClient&) = delete;
  TcpTestClient& operator=(const TcpTestClient&) = delete;
  ~TcpTestClient() { Close(); }

  // Connects to 127.0.0.1:port. 0, or the errno (e.g. ECONNREFUSED).
  int Connect(uint16_t port, std::chrono::milliseconds timeout = std::chrono::seconds(2));
  bool Send(const Bytes& data);
  // Reads until `n` bytes arrived or the timeout passed.
  Bytes Read(size_t n, std::chrono::milliseconds timeout);
  // True when the peer closed the connection within the timeout.
  bool WaitClosed(std::chrono::milliseconds timeout);
  void Close();

 private:
  int fd_ = -1;
};

std::string Hex(const std::vector<uint8_t>& bytes);

}  // namespace printersim
