// Scripted sockets on a fake clock: a printer on the other end that answers
// chosen commands after chosen delays, sends that take only part of a buffer
// or stall, connects that time out or fail, and a record of everything sent.
// Received bytes become readable once the fake clock reaches their time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/sockets.h"
#include "tests/fakes/fake_platform.h"

namespace fakes {

using Bytes = std::vector<uint8_t>;

class FakeSockets : public platform::Sockets {
 public:
  explicit FakeSockets(FakeClock& clock) : clock_(clock) {}

  // --- scripting (before or while the link runs)
  int startupResult = 0;
  platform::SocketVersion grantedVersion{2, 2};
  bool failOpenStream = false;
  bool failNonBlocking = false;
  bool addressValid = true;
  int connectResult = platform::kSocketWouldBlock;
  // Result of the wait for the connect; 0 lets the whole wait pass.
  int connectWritable = 1;
  // What LastError() reports: the OS error of the failures scripted here.
  int lastError = 0;
  // Runs in the wait for a connect before it ends (set before the link runs).
  std::function<void()> onConnectWait;

  // The printer answers a send of exactly `command` with `reply`, `delayMs` later.
  void Answer(const Bytes& command, const Bytes& reply, uint32_t delayMs = 0);
  void StopAnswering(const Bytes& command);
  // Bytes the printer sends on its own, readable `delayMs` from now.
  void Deliver(const Bytes& bytes, uint32_t delayMs = 0);
  // The peer closed: receives give 0 once the queue is empty, sends fail.
  void ClosePeer();
  // The printer takes connections again (the old ones stay closed for real
  // printers; the fake serves every socket from the one peer).
  void ReopenPeer();
  // The printer drops the connections made so far (as network printers drop
  // idle ones) and takes new ones.
  void DropConnections();

  // Per Send call, in order: a count to take at most, kSocketWouldBlock or
  // kSocketError; after the script every send takes everything.
  void ScriptSends(std::vector<int> results);
  // Per wait for writability after a stalled send: 1, 0 (the whole wait
  // passes on the clock) or kSocketError; after the script 1.
  void ScriptSendWaits(std::vector<int> results);

  // --- what happened
  Bytes sent();                          // every byte taken, in order
  std::vector<Bytes> sendCalls();        // the bytes taken per call
  int openCount();                       // sockets made
  int closeCount();                      // sockets closed
  int heldSockets();                     // made and not closed
  std::vector<uint32_t> connectWaits();  // time-outs of the connect waits
  platform::Ipv4Peer lastPeer();
  std::vector<std::pair<std::string, uint32_t>> options();
  size_t pendingBytes();  // queued for receiving

  // --- platform::Sockets
  int Startup(platform::SocketVersion wanted, platform::SocketVersion& granted) override;
  platform::SocketHandle OpenStream() override;
  int SetReceiveTimeout(platform::SocketHandle s, uint32_t ms) override;
  int SetSendBufferSize(platform::SocketHandle s, int bytes) override;
  int SetSendTimeout(platform::SocketHandle s, uint32_t ms) override;
  int SetNonBlocking(platform::SocketHandle s, bool on) override;
  int Connect(platform::SocketHandle s, const platform::Ipv4Peer& peer) override;
  int WaitWritable(platform::SocketHandle s, uint32_t timeoutMs) override;
  int Send(platform::SocketHandle s, const uint8_t* data, int length) override;
  int Receive(platform::SocketHandle s, uint8_t* buffer, int size) override;
  int Close(platform::SocketHandle s) override;
  bool ParseIpv4(const std::string& dotted, uint32_t& address) override;
  int LastError() override { return lastError; }

 private:
  struct Chunk {
    uint32_t readyAt;
    Bytes bytes;
  };
  void QueueLocked(const Bytes& bytes, uint32_t delayMs);

  FakeClock& clock_;
  std::mutex lock_;
  // Keyed by the command as text (GCC 12 warns falsely on vector keys).
  std::map<std::string, std::pair<Bytes, uint32_t>> answers_;
  std::deque<Chunk> inbound_;
  bool peerClosed_ = false;
  platform::SocketHandle droppedBelow_ = 0;  // sockets made before a drop
  bool connecting_ = false;
  std::deque<int> sendScript_;
  std::deque<int> sendWaitScript_;
  Bytes sent_;
  std::vector<Bytes> sendCalls_;
  int opened_ = 0;
  int closed_ = 0;
  platform::SocketHandle nextHandle_ = 3;
  std::vector<uint32_t> connectWaits_;
  platform::Ipv4Peer lastPeer_;
  std::vector<std::pair<std::string, uint32_t>> options_;
};

}  // namespace fakes
