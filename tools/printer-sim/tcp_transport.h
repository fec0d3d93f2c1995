// Raw TCP port like a network receipt printer's (port 9100): one connection
// at a time, further connects wait in the backlog until it closes.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/printer-sim/transport.h"

namespace printersim {

// Splits "HOST:PORT" or "[v6]:PORT". False when malformed.
bool SplitHostPort(std::string_view address, std::string* host, uint16_t* port);

class TcpTransport : public Transport {
 public:
  // `address` is "HOST:PORT"; port 0 picks a free port, kept across power
  // cycles.
  // receive_window > 0 caps the socket's receive buffer, as a printer's
  // small TCP window does.
  explicit TcpTransport(std::string address, int receive_window = 0);
  ~TcpTransport() override;

  int Open(std::string* error) override;
  void Close() override;
  std::string Description() const override;
  void Poll(int wake_fd, int timeout_ms, size_t max_read, TransportListener* listener) override;
  bool Connected() const override { return conn_fd_ >= 0; }
  int Send(const uint8_t* data, size_t len) override;
  long SetPowered(bool on, TransportListener* listener) override;
  bool Drop(TransportListener* listener) override;

  uint16_t port() const { return port_; }
  const std::string& host() const { return host_; }

 private:
  int Listen(std::string* error);
  void RetryListen();
  void Accept(TransportListener* listener);
  void ReadConnection(size_t max_read, TransportListener* listener);
  void DropConnection(TransportListener* listener);

  std::string address_;
  int receive_window_ = 0;
  std::string host_;
  uint16_t port_ = 0;
  int listen_fd_ = -1;
  int conn_fd_ = -1;
  bool powered_ = true;
  std::chrono::steady_clock::time_point next_listen_try_{};
  std::vector<uint8_t> buf_;
};

}  // namespace printersim
