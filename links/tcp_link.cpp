// TcpLink: open, status probe, reader turn, status table, disable status and
// close of a network printer.
#include "links/tcp_link.h"

#include "links/escpos.h"
#include "platform/clock.h"
#include "platform/system.h"

namespace links {

namespace {

constexpr uint32_t kConnectWaitMs = 4000;
constexpr uint32_t kSendTimeoutMs = 2000;
constexpr uint32_t kReceiveTimeoutMs = 500;
constexpr size_t kMaxAddressLength = 255;

constexpr uint32_t kProbeLimitMs = 2500;
constexpr int kProbeEmptyPolls = 25;
constexpr uint32_t kStartSettleMs = 200;

bool IsCoverCode(uint8_t b0) { return b0 == 0x30 || b0 == 0x34 || b0 == 0x38 || b0 == 0x3C; }
bool IsOnlineCode(uint8_t b0) { return b0 == 0x10 || b0 == 0x14; }

}  // namespace

TcpLink::TcpLink(platform::Clock& clock, platform::Sockets& sockets, platform::System& system,
                 ReaderMode mode)
    : DeviceLink(clock, mode), sockets_(sockets), system_(system) {}

TcpLink::~TcpLink() { Close(); }

int TcpLink::Open(const std::string& target, int parameter) {
  if (!EarlierReaderEnded()) return kOpenFailed;
  // An earlier attempt left its socket: release it; the next attempt starts afresh.
  if (holdsSocket()) {
    ReleaseSocket();
    return Fail(kOpenFailed, "the last attempt's connection was still there (released)");
  }

  platform::SocketVersion granted;
  if (sockets_.Startup({2, 2}, granted) != 0) {
    system_.ShowMessageBox("Unable to start TCP/IP stack", "WSAStartup error");
    return Fail(kOpenNoStack, "the network stack does not start");
  }
  if (granted.major != 2 || granted.minor != 2) {
    system_.ShowMessageBox("wrong version of protocol stack, need 2.0",
                           "WSAStartup Version Warning");
    return Fail(kOpenNoSocket, "the network stack is of the wrong version");
  }

  const platform::SocketHandle s = sockets_.OpenStream();
  if (s == platform::kInvalidSocket)
    return Fail(kOpenNoSocket, OsCause(sockets_.LastError(), "no socket"));
  socket_ = s;
  lost_ = false;

  port_ = parameter & 0xFFFF;
  address_ = target.substr(0, kMaxAddressLength);
  peer_.port = static_cast<uint16_t>(port_);
  peerValid_ = sockets_.ParseIpv4(address_, peer_.address);

  sockets_.SetReceiveTimeout(s, kReceiveTimeoutMs);
  sockets_.SetSendBufferSize(s, 0);
  sockets_.SetSendTimeout(s, kSendTimeoutMs);
  // The relay forwards each chunk as soon as it has read it; the last piece
  // of a job must not wait for the printer's delayed acknowledgement.
  sockets_.SetNoDelay(s, true);

  if (sockets_.SetNonBlocking(s, true) != 0)
    return Fail(kOpenFailed, OsCause(sockets_.LastError(), "no non-blocking socket"));

  // No address is a connect error like any other.
  if (!peerValid_) return Fail(kOpenFailed, "\"" + address_ + "\" is not an IPv4 address");
  if (sockets_.Connect(s, peer_) == platform::kSocketError)
    return Fail(kOpenFailed, OsCause(sockets_.LastError(), "the connect failed"));

  const int writable = sockets_.WaitWritable(s, kConnectWaitMs);
  if (writable < 0) return Fail(kOpenFailed, OsCause(sockets_.LastError(), "the connect failed"));
  if (writable == 0) {
    const std::string why = OsCause(sockets_.LastError(), "no connection within the wait");
    ReleaseSocket();
    return Fail(kOpenNoAnswer, why);
  }
  state().open = 1;
  return Start();
}

int TcpLink::Start() {
  LinkState& st = state();
  // Until the new reader runs, a closed connection is the open's business.
  st.readerStarted = 0;
  st.statusRequest = 0;
  st.coverOpen = 0;
  st.paperEnd = 0;

  const int probe = ProbeStatus();
  if (probe == kOpenNoAnswer) return Fail(probe, "the printer did not answer the status request");
  if (probe == kOpenCoverOpen) return Fail(probe, "the printer's cover is open");
  if (probe == kOpenPaperOut) return Fail(probe, "the printer is out of paper");
  lost_ = false;
  return StartReaderAndWait(kStartSettleMs);
}

// Real-time status: DLE EOT 2 for the cover, then DLE EOT 4 for the paper,
// repeated while the printer stays silent, for at most about 2.5 s.
int TcpLink::ProbeStatus() {
  Discard();
  clock().SleepMs(100);
  int counter = 0;
  uint32_t start = 0;
  for (bool first = true;; first = false) {
    if (first) {
      start = clock().NowMs();
    } else if (clock().NowMs() - start > kProbeLimitMs) {
      return kOpenNoAnswer;
    }

    Write(kRealTimeStatusPrinter, sizeof kRealTimeStatusPrinter);
    ReaderBlock reply;
    if (PollReply(reply, counter) == 0) {
      clock().SleepMs(180);
      continue;
    }
    if (reply.bytes[reply.length - 1] & kCoverOpenBit) {
      state().coverOpen = 1;
      return kOpenCoverOpen;
    }

    Write(kRealTimeStatusPaper, sizeof kRealTimeStatusPaper);
    counter = 0;
    clock().SleepMs(100);
    if (PollReply(reply, counter) == 0) {
      clock().SleepMs(180);
      continue;
    }
    return (reply.bytes[reply.length - 1] & kPaperEndBits) ? kOpenPaperOut : kOpened;
  }
}

// Polls every 100 ms until bytes arrive or the empty polls, counted across
// the probe's passes, pass 25.
int TcpLink::PollReply(ReaderBlock& reply, int& counter) {
  do {
    clock().SleepMs(100);
    reply = ReaderBlock{};
    reply.Grow(Read(reply.End(), reply.Room()));
    if (reply.length > 0) return reply.length;
    ++counter;
  } while (counter <= kProbeEmptyPolls);
  return 0;
}

void TcpLink::ReaderTurn() {
  LinkState& st = state();
  PauseBeforeTurn();
  if (lost_) {
    TryReconnect();
    st.readerStarted = 1;
    return;
  }
  if (st.statusRequest) {
    EnableStatusBack();
    st.statusRequest = 0;
  }

  ReaderBlock block;
  block.Grow(Read(block.End(), block.Room()));
  if (lost_) {
    // Network printers drop idle connections: connect again at once, and
    // report the printer off only if that fails.
    TryReconnect();
    st.readerStarted = 1;
    return;
  }
  ForwardReply(block.bytes.data(), block.length);
  // Gathering also forwards what it receives: an answer that arrives while a
  // reply is being gathered is still the application's answer.
  if (NeedsGathering(block)) Gather(block);
  NoteBlock(block);
  WatchSplitReply(block);

  if (block.length >= 11 &&
      (ProcessIdReplyInside(block) || ProcessIdReplyAtStart(block) || ProcessIdReplyAtEnd(block)))
    st.printDone = 1;

  RemoveKeepAlive(block);
  if (block.length >= 4) {
    if (ProcessIdReplyAtEnd(block)) st.printDone = 1;
    ApplyStatusTable(LastStatusBlock(block));
  }
  st.readerStarted = 1;
}

// Pieces of a reply: 1 to 3 bytes, more than 4 but not a whole 7-byte
// process-ID reply, or 4 bytes that start like one.
bool TcpLink::NeedsGathering(const ReaderBlock& block) {
  const int n = block.length;
  return (n >= 1 && n <= 3) || (n > 4 && n != 7) ||
         (n == 4 && block.bytes[0] == kProcessIdReplyLead);
}

// Appends what arrives over the next 400 ms, and while bytes keep coming
// every 100 ms; never past the end of the block (the rest stays queued in
// the socket for the next turn).
void TcpLink::Gather(ReaderBlock& block) {
  if (block.Room() == 0) return;
  clock().SleepMs(200);
  AppendReceive(block);
  if (block.Room() == 0) return;
  clock().SleepMs(200);
  int added = AppendReceive(block);
  while (added > 0 && block.Room() > 0 && state().stopReader == 0) {
    clock().SleepMs(100);
    added = AppendReceive(block);
  }
}

int TcpLink::AppendReceive(ReaderBlock& block) {
  if (block.Room() == 0) return 0;
  const int added = Read(block.End(), block.Room());
  ForwardReply(block.End(), added);
  block.Grow(added);
  return added;
}

void TcpLink::ApplyStatusTable(const StatusBlock& status) {
  LinkState& st = state();
  if (IsCoverCode(status.b0)) {
    // Plain or error, a cover code means the cover is open.
    st.ReportCoverOpen();
  } else if (status.plain()) {
    if (status.b2 == 3) {
      st.ReportNearEnd();
    } else {
      st.ReportNormal();
    }
  } else if (status.b2 == 0x0F && IsOnlineCode(status.b0)) {
    st.ReportPaperEnd();
  } else if (status.b2 == 3 && IsOnlineCode(status.b0)) {
    st.ReportNearEnd();
  }
}

int TcpLink::DisableStatus() {
  Discard();
  Write(kStatusBackOff, sizeof kStatusBackOff);
  std::array<uint8_t, kReaderBlockSize> answer{};
  for (int i = 0; i < 5; ++i) {
    clock().SleepMs(100);
    if (Read(answer.data(), static_cast<int>(answer.size())) > 0) {
      clock().SleepMs(100);
      Discard();
      break;
    }
  }
  return 1;
}

int TcpLink::Close() {
  LinkState& st = state();
  if (holdsSocket() && st.open == 0) {
    ReleaseSocket();
    return 0;
  }
  if (st.open == 0) return 0;
  st.open = 0;
  StopReader();
  std::array<uint8_t, 64> rest{};
  sockets_.Receive(socket_, rest.data(), static_cast<int>(rest.size()));
  ReleaseSocket();
  clock().SleepMs(100);
  return 0;
}

// Sends the whole buffer. The socket is non-blocking: when the printer takes
// only part of it, or nothing, wait for it to take more, at most the send
// time-out per stall.
int TcpLink::Write(const uint8_t* data, int length) {
  WaitForReconnect();
  std::lock_guard<std::mutex> g(sendLock_);
  const platform::SocketHandle s = socket_;
  if (s == platform::kInvalidSocket) return Fail(kWriteNoConnection, "not connected");
  if (lost_) return Fail(kWriteNoConnection, "the connection was lost");
  int sent = 0;
  while (sent < length) {
    const int n = sockets_.Send(s, data + sent, length - sent);
    if (n > 0) {
      sent += n;
    } else if (n == platform::kSocketWouldBlock || n == 0) {
      if (sockets_.WaitWritable(s, kSendTimeoutMs) != 1)
        return Fail(kWriteNoConnection,
                    OsCause(sockets_.LastError(), "the printer took nothing within the wait"));
    } else {
      const std::string why = OsCause(sockets_.LastError(), "the connection was lost");
      if (state().open) NoteConnectionLost();
      return Fail(kWriteNoConnection, why);
    }
  }
  return kWriteDone;
}

int TcpLink::Read(uint8_t* buffer, int size) {
  if (state().open == 0 || size <= 0 || lost_) return 0;
  int n;
  {
    std::lock_guard<std::mutex> g(receiveLock_);
    n = sockets_.Receive(socket_, buffer, size);
  }
  // An orderly close (0) or an error: the printer has gone away.
  if (n == 0 || n == platform::kSocketError) {
    if (state().open && state().readerStarted) NoteConnectionLost();
    return 0;
  }
  return n > 0 ? n : 0;
}

// The reader's next attempt to connect comes at once; only an attempt that
// fails makes the printer read as off.
void TcpLink::NoteConnectionLost() {
  if (lost_.exchange(true)) return;
  CountConnectionLoss();
  lastReconnectMs_ = clock().NowMs() - kReconnectPauseMs;
}

// A job that comes while the reader connects again (the printer closed an
// idle connection a moment ago) waits for that attempt, which comes at once,
// instead of failing. The reader itself never waits for its own attempt;
// without a reader nobody would make one.
void TcpLink::WaitForReconnect() {
  if (!lost_ || OnReaderThread() || !ReaderRunning()) return;
  const uint32_t start = clock().NowMs();
  while (lost_ && state().open && state().stopReader == 0 &&
         clock().NowMs() - start < kWriteReconnectWaitMs)
    clock().SleepMs(10);
}

platform::SocketHandle TcpLink::NewConnectingSocket() {
  const platform::SocketHandle s = sockets_.OpenStream();
  if (s == platform::kInvalidSocket) return s;
  sockets_.SetReceiveTimeout(s, kReceiveTimeoutMs);
  sockets_.SetSendBufferSize(s, 0);
  sockets_.SetSendTimeout(s, kSendTimeoutMs);
  sockets_.SetNoDelay(s, true);
  if (sockets_.SetNonBlocking(s, true) != 0 ||
      sockets_.Connect(s, peer_) == platform::kSocketError ||
      sockets_.WaitWritable(s, kReconnectWaitMs) != 1) {
    sockets_.Close(s);
    return platform::kInvalidSocket;
  }
  return s;
}

// Runs on the reader thread while the connection is lost. Once the printer
// takes connections again the new socket replaces the old one, and the next
// turn asks the printer for a fresh status block.
void TcpLink::TryReconnect() {
  if (clock().NowMs() - lastReconnectMs_ < kReconnectPauseMs) return;
  lastReconnectMs_ = clock().NowMs();
  const platform::SocketHandle fresh = NewConnectingSocket();
  if (fresh == platform::kInvalidSocket) {
    state().printerOff = 1;
    lastReconnectMs_ = clock().NowMs();
    return;
  }
  {
    std::lock_guard<std::mutex> send(sendLock_);
    std::lock_guard<std::mutex> receive(receiveLock_);
    const platform::SocketHandle old = socket_.exchange(fresh);
    if (old != platform::kInvalidSocket) sockets_.Close(old);
  }
  LinkState& st = state();
  lost_ = false;
  st.printerOff = 0;
  st.statusRequest = 1;
}

void TcpLink::Discard() {
  std::array<uint8_t, kReaderBlockSize> ignored{};
  Read(ignored.data(), static_cast<int>(ignored.size()));
}

void TcpLink::ReleaseSocket() {
  std::lock_guard<std::mutex> g(sendLock_);
  std::lock_guard<std::mutex> receive(receiveLock_);
  const platform::SocketHandle s = socket_.exchange(platform::kInvalidSocket);
  if (s != platform::kInvalidSocket) sockets_.Close(s);
}

}  // namespace links
