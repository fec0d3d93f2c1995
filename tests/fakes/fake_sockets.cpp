// Scripted sockets on a fake clock.
#include "tests/fakes/fake_sockets.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace fakes {

void FakeSockets::Answer(const Bytes& command, const Bytes& reply, uint32_t delayMs) {
  std::lock_guard<std::mutex> g(lock_);
  answers_[std::string(command.begin(), command.end())] = {reply, delayMs};
}

void FakeSockets::StopAnswering(const Bytes& command) {
  std::lock_guard<std::mutex> g(lock_);
  answers_.erase(std::string(command.begin(), command.end()));
}

void FakeSockets::Deliver(const Bytes& bytes, uint32_t delayMs) {
  std::lock_guard<std::mutex> g(lock_);
  QueueLocked(bytes, delayMs);
}

void FakeSockets::QueueLocked(const Bytes& bytes, uint32_t delayMs) {
  inbound_.push_back(Chunk{clock_.NowMs() + delayMs, bytes});
}

void FakeSockets::ClosePeer() {
  std::lock_guard<std::mutex> g(lock_);
  peerClosed_ = true;
}

void FakeSockets::ReopenPeer() {
  std::lock_guard<std::mutex> g(lock_);
  peerClosed_ = false;
}

void FakeSockets::DropConnections() {
  std::lock_guard<std::mutex> g(lock_);
  droppedBelow_ = nextHandle_;
}

void FakeSockets::ScriptSends(std::vector<int> results) {
  std::lock_guard<std::mutex> g(lock_);
  sendScript_.assign(results.begin(), results.end());
}

void FakeSockets::ScriptSendWaits(std::vector<int> results) {
  std::lock_guard<std::mutex> g(lock_);
  sendWaitScript_.assign(results.begin(), results.end());
}

Bytes FakeSockets::sent() {
  std::lock_guard<std::mutex> g(lock_);
  return sent_;
}

std::vector<Bytes> FakeSockets::sendCalls() {
  std::lock_guard<std::mutex> g(lock_);
  return sendCalls_;
}

int FakeSockets::openCount() {
  std::lock_guard<std::mutex> g(lock_);
  return opened_;
}

int FakeSockets::closeCount() {
  std::lock_guard<std::mutex> g(lock_);
  return closed_;
}

int FakeSockets::heldSockets() {
  std::lock_guard<std::mutex> g(lock_);
  return opened_ - closed_;
}

std::vector<uint32_t> FakeSockets::connectWaits() {
  std::lock_guard<std::mutex> g(lock_);
  return connectWaits_;
}

platform::Ipv4Peer FakeSockets::lastPeer() {
  std::lock_guard<std::mutex> g(lock_);
  return lastPeer_;
}

std::vector<std::pair<std::string, uint32_t>> FakeSockets::options() {
  std::lock_guard<std::mutex> g(lock_);
  return options_;
}

size_t FakeSockets::pendingBytes() {
  std::lock_guard<std::mutex> g(lock_);
  size_t n = 0;
  for (const Chunk& c : inbound_) n += c.bytes.size();
  return n;
}

int FakeSockets::Startup(platform::SocketVersion /*wanted*/, platform::SocketVersion& granted) {
  granted = grantedVersion;
  return startupResult;
}

platform::SocketHandle FakeSockets::OpenStream() {
  std::lock_guard<std::mutex> g(lock_);
  if (failOpenStream) return platform::kInvalidSocket;
  ++opened_;
  return nextHandle_++;
}

int FakeSockets::SetReceiveTimeout(platform::SocketHandle /*s*/, uint32_t ms) {
  std::lock_guard<std::mutex> g(lock_);
  options_.emplace_back("SO_RCVTIMEO", ms);
  return 0;
}

int FakeSockets::SetSendBufferSize(platform::SocketHandle /*s*/, int bytes) {
  std::lock_guard<std::mutex> g(lock_);
  options_.emplace_back("SO_SNDBUF", static_cast<uint32_t>(bytes));
  return 0;
}

int FakeSockets::SetSendTimeout(platform::SocketHandle /*s*/, uint32_t ms) {
  std::lock_guard<std::mutex> g(lock_);
  options_.emplace_back("SO_SNDTIMEO", ms);
  return 0;
}

int FakeSockets::SetNonBlocking(platform::SocketHandle /*s*/, bool on) {
  std::lock_guard<std::mutex> g(lock_);
  options_.emplace_back("FIONBIO", on ? 1u : 0u);
  return failNonBlocking ? platform::kSocketError : 0;
}

int FakeSockets::Connect(platform::SocketHandle /*s*/, const platform::Ipv4Peer& peer) {
  std::lock_guard<std::mutex> g(lock_);
  lastPeer_ = peer;
  connecting_ = connectResult == platform::kSocketWouldBlock;
  return connectResult;
}

int FakeSockets::WaitWritable(platform::SocketHandle /*s*/, uint32_t timeoutMs) {
  int result = 1;
  bool connect = false;
  {
    std::lock_guard<std::mutex> g(lock_);
    if (connecting_) {
      connecting_ = false;
      connect = true;
      connectWaits_.push_back(timeoutMs);
      result = connectWritable;
    } else if (!sendWaitScript_.empty()) {
      result = sendWaitScript_.front();
      sendWaitScript_.pop_front();
    }
  }
  if (connect && onConnectWait) onConnectWait();
  if (result == 0) clock_.Advance(timeoutMs);
  return result;
}

int FakeSockets::Send(platform::SocketHandle s, const uint8_t* data, int length) {
  std::lock_guard<std::mutex> g(lock_);
  if (peerClosed_ || s < droppedBelow_) return platform::kSocketError;
  int take = length;
  if (!sendScript_.empty()) {
    const int scripted = sendScript_.front();
    sendScript_.pop_front();
    if (scripted < 0) return scripted;
    take = std::min(length, scripted);
  }
  Bytes taken(data, data + take);
  sent_.insert(sent_.end(), taken.begin(), taken.end());
  sendCalls_.push_back(taken);
  if (auto it = answers_.find(std::string(taken.begin(), taken.end())); it != answers_.end()) {
    QueueLocked(it->second.first, it->second.second);
  }
  return take;
}

int FakeSockets::Receive(platform::SocketHandle s, uint8_t* buffer, int size) {
  std::lock_guard<std::mutex> g(lock_);
  if (s < droppedBelow_) return 0;
  const uint32_t now = clock_.NowMs();
  int got = 0;
  while (got < size && !inbound_.empty() &&
         static_cast<int32_t>(now - inbound_.front().readyAt) >= 0) {
    Chunk& c = inbound_.front();
    const int take = std::min(size - got, static_cast<int>(c.bytes.size()));
    if (take > 0) std::memcpy(buffer + got, c.bytes.data(), static_cast<size_t>(take));
    got += take;
    c.bytes.erase(c.bytes.begin(), c.bytes.begin() + take);
    if (c.bytes.empty()) inbound_.pop_front();
  }
  if (got > 0) return got;
  return peerClosed_ ? 0 : platform::kSocketWouldBlock;
}

int FakeSockets::Close(platform::SocketHandle /*s*/) {
  std::lock_guard<std::mutex> g(lock_);
  ++closed_;
  return 0;
}

bool FakeSockets::ParseIpv4(const std::string& dotted, uint32_t& address) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  char extra = 0;
  if (!addressValid || std::sscanf(dotted.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) != 4 ||
      a > 255 || b > 255 || c > 255 || d > 255) {
    address = 0xFFFFFFFFu;
    return false;
  }
  address = (a << 24) | (b << 16) | (c << 8) | d;
  return true;
}

}  // namespace fakes
