// Winsock 2 sockets. Read side by side with platform/posix/sockets.cpp: same
// calls, same order.
#include "platform/sockets.h"

#include <winsock2.h>

#include "platform/win32/native.h"

namespace platform::win32 {

namespace {

int Fail() { return kSocketError; }

SOCKET Native(SocketHandle s) {
  return s == kInvalidSocket ? INVALID_SOCKET : static_cast<SOCKET>(s);
}

int SetTimeoutOption(SocketHandle s, int option, uint32_t ms) {
  const DWORD value = ms;
  return setsockopt(Native(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                    sizeof value) == 0
             ? 0
             : Fail();
}

class WinSockets : public Sockets {
 public:
  int Startup(SocketVersion wanted, SocketVersion& granted) override {
    WSADATA data{};
    const int result = WSAStartup(MAKEWORD(wanted.major, wanted.minor), &data);
    if (result != 0) return result;
    granted.major = LOBYTE(data.wVersion);
    granted.minor = HIBYTE(data.wVersion);
    return 0;
  }

  SocketHandle OpenStream() override {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return kInvalidSocket;
    return static_cast<SocketHandle>(s);
  }

  int SetReceiveTimeout(SocketHandle s, uint32_t ms) override {
    return SetTimeoutOption(s, SO_RCVTIMEO, ms);
  }

  int SetSendBufferSize(SocketHandle s, int bytes) override {
    return setsockopt(Native(s), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes),
                      sizeof bytes) == 0
               ? 0
               : Fail();
  }

  int SetNoDelay(SocketHandle s, bool on) override {
    const BOOL value = on ? TRUE : FALSE;
    return setsockopt(Native(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0
               ? 0
               : Fail();
  }

  int SetSendTimeout(SocketHandle s, uint32_t ms) override {
    return SetTimeoutOption(s, SO_SNDTIMEO, ms);
  }

  int SetNonBlocking(SocketHandle s, bool on) override {
    u_long mode = on ? 1 : 0;
    return ioctlsocket(Native(s), FIONBIO, &mode) == 0 ? 0 : Fail();
  }

  int Connect(SocketHandle s, const Ipv4Peer& peer) override {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(peer.port);
    address.sin_addr.s_addr = htonl(peer.address);
    if (connect(Native(s), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
      return 0;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kSocketWouldBlock : kSocketError;
  }

  // A failed connect shows only in the exception set; asking for it too ends
  // the wait as soon as the printer refuses instead of at the time-out.
  int WaitWritable(SocketHandle s, uint32_t timeoutMs) override {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(Native(s), &writable);
    FD_SET(Native(s), &failed);
    timeval tv{static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    const int n = select(0, nullptr, &writable, &failed, &tv);
    if (n == SOCKET_ERROR) return Fail();
    if (n == 0) {
      WSASetLastError(WSAETIMEDOUT);
      return 0;
    }
    // The pending connect failed: its error is the socket's, not the thread's.
    if (FD_ISSET(Native(s), &failed)) {
      int error = 0;
      int length = sizeof error;
      if (getsockopt(Native(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) ==
              0 &&
          error != 0)
        WSASetLastError(error);
      return 0;
    }
    return FD_ISSET(Native(s), &writable) ? 1 : 0;
  }

  int Send(SocketHandle s, const uint8_t* data, int length) override {
    const int n = send(Native(s), reinterpret_cast<const char*>(data), length, 0);
    if (n != SOCKET_ERROR) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kSocketWouldBlock : kSocketError;
  }

  int Receive(SocketHandle s, uint8_t* buffer, int size) override {
    const int n = recv(Native(s), reinterpret_cast<char*>(buffer), size, 0);
    if (n != SOCKET_ERROR) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kSocketWouldBlock : kSocketError;
  }

  int Close(SocketHandle s) override { return closesocket(Native(s)) == 0 ? 0 : Fail(); }

  bool ParseIpv4(const std::string& dotted, uint32_t& address) override {
    const unsigned long parsed = inet_addr(dotted.c_str());
    address = ntohl(parsed);
    return parsed != INADDR_NONE;
  }

  int LastError() override { return WSAGetLastError(); }
};

}  // namespace

Sockets& NewSockets() {
  static WinSockets sockets;
  return sockets;
}

}  // namespace platform::win32
