// The host-facing side of the simulator: how bytes reach the printer model
// and how its answers go back (TCP port or pseudo-terminal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace printersim {

// Receives what a transport observed during Poll().
class TransportListener {
 public:
  virtual ~TransportListener() = default;
  virtual void OnConnected(const std::string& peer) = 0;
  virtual void OnData(const uint8_t* data, size_t len) = 0;
  virtual void OnDisconnected() = 0;
  virtual void OnError(const std::string& message) = 0;
};

class Transport {
 public:
  // Largest chunk handed to OnData at once.
  static constexpr size_t kReadChunk = 64 * 1024;

  virtual ~Transport() = default;
  // Starts listening / creates the device. 0 on success, else -1 and *error.
  virtual int Open(std::string* error) = 0;
  virtual void Close() = 0;
  // "tcp 127.0.0.1:9100" or "pty /tmp/com1 /dev/pts/3": the listen event.
  virtual std::string Description() const = 0;
  // Waits up to timeout_ms for host activity (or until wake_fd is readable)
  // and reports it to the listener, reading at most max_read bytes of data.
  // With max_read 0 the receive buffer is full: the host's bytes stay where
  // they are (in the socket or the pty queue) until the printer catches up.
  virtual void Poll(int wake_fd, int timeout_ms, size_t max_read, TransportListener* listener) = 0;
  virtual bool Connected() const = 0;
  // Writes one answer to the host; 0 when all of it was written.
  virtual int Send(const uint8_t* data, size_t len) = 0;
  // Power off: TCP drops the connection and closes the port, the pty stops
  // reading. Power on undoes it. Returns -1 on failure, else the number of
  // bytes the host sent while off that were thrown away.
  virtual long SetPowered(bool on, TransportListener* listener) = 0;
  // Closes the host's connection as a network printer closes an idle one,
  // staying ready for the next. False when the transport has no connection
  // of its own to close (a pty belongs to whoever opened it).
  virtual bool Drop(TransportListener* /*listener*/) { return false; }
};

}  // namespace printersim
