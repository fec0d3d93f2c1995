// Implemented by platform/win32/sockets.cpp and platform/posix/sockets.cpp.
// IPv4 stream sockets for network printers. The calls mirror Winsock (start-up
// with a version, socket options, non-blocking mode, connect that would block,
// select for writability, send, recv, closesocket, inet_addr), so the Win32
// implementation is a thin wrapper and the POSIX one says where it differs.
//
// Threads: one socket may be received on by one thread while another sends on
// it; the object itself holds no per-socket state.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A socket as the OS numbers it; kInvalidSocket when none is held.
using SocketHandle = intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// Results of Connect, Send and Receive besides counts.
inline constexpr int kSocketError = -1;
inline constexpr int kSocketWouldBlock = -2;  // WSAEWOULDBLOCK / EINPROGRESS / EAGAIN

struct SocketVersion {
  uint8_t major = 0;
  uint8_t minor = 0;
};

// An IPv4 peer: address and port in host order.
struct Ipv4Peer {
  uint32_t address = 0;
  uint16_t port = 0;
};

class Sockets {
 public:
  virtual ~Sockets() = default;

  // WSAStartup asking for `wanted`: 0 and the version granted, or the start-up
  // error. Never undone: every caller may start again.
  virtual int Startup(SocketVersion wanted, SocketVersion& granted) = 0;
  // socket(AF_INET, SOCK_STREAM, 0); kInvalidSocket on failure.
  virtual SocketHandle OpenStream() = 0;
  // setsockopt SO_RCVTIMEO, SO_SNDBUF, SO_SNDTIMEO; 0 or kSocketError.
  virtual int SetReceiveTimeout(SocketHandle s, uint32_t ms) = 0;
  virtual int SetSendBufferSize(SocketHandle s, int bytes) = 0;
  virtual int SetSendTimeout(SocketHandle s, uint32_t ms) = 0;
  // TCP_NODELAY: every chunk leaves at once instead of waiting for the
  // acknowledgement of the previous one. 0 on success.
  virtual int SetNoDelay(SocketHandle /*s*/, bool /*on*/) { return 0; }
  // ioctlsocket FIONBIO; 0 or kSocketError.
  virtual int SetNonBlocking(SocketHandle s, bool on) = 0;
  // 0 connected at once; kSocketWouldBlock while the attempt goes on (its
  // outcome is then seen by WaitWritable); kSocketError for any other failure.
  virtual int Connect(SocketHandle s, const Ipv4Peer& peer) = 0;
  // select for writability: 1 writable (a pending connect has completed), 0
  // not within the time or the pending connect failed, kSocketError on error.
  virtual int WaitWritable(SocketHandle s, uint32_t timeoutMs) = 0;
  // Count taken (possibly fewer than `length`), kSocketWouldBlock when none
  // could be taken at once, kSocketError on failure (never a signal).
  virtual int Send(SocketHandle s, const uint8_t* data, int length) = 0;
  // Count received, 0 when the peer closed, kSocketWouldBlock when nothing has
  // arrived, kSocketError on failure.
  virtual int Receive(SocketHandle s, uint8_t* buffer, int size) = 0;
  // closesocket; 0 or kSocketError.
  virtual int Close(SocketHandle s) = 0;
  // inet_addr: the dotted address in host order; false when it is none.
  virtual bool ParseIpv4(const std::string& dotted, uint32_t& address) = 0;
  // The OS error number of the last failing call on this thread (for logs).
  virtual int LastError() = 0;
};

}  // namespace platform
