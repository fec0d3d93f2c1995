// TcpLink: a network receipt printer on a raw TCP port (9100). Open connects
// without blocking for at most 4 s, probes the printer with DLE EOT 2 and 4
// and starts the reader; the reader polls the socket every 50 ms, gathers
// replies that come in pieces, forwards them to the application, spots
// process-ID replies and keeps the status flags from Automatic Status Back.
//
// A printer that drops the connection is reached again by the reader, at
// once (network printers drop idle connections) and then about once a
// second; while it cannot be reached the link reports the printer as off and
// refuses writes, so nothing is sent into a dead connection and a reprint
// goes out once the printer is back.
//
// Open results: 0 connected and reader running; 1 cover open; 4 paper out;
// 8 no answer (connect time-out or refusal, or a silent probe); -1 socket or
// connect error, or a socket still held from an earlier attempt; -2 no socket
// or wrong socket-layer version; -3 the socket layer did not start.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "links/device_link.h"
#include "links/reader_block.h"
#include "platform/sockets.h"

namespace platform {
class System;
}

namespace links {

class TcpLink : public DeviceLink {
 public:
  TcpLink(platform::Clock& clock, platform::Sockets& sockets, platform::System& system,
          ReaderMode mode = ReaderMode::kThread);
  ~TcpLink() override;

  // `target` is the printer's dotted IPv4 address, `parameter` its TCP port.
  int Open(const std::string& target, int parameter) override;
  // Switches Automatic Status Back off (GS a 0) and drains the answer; 1.
  int DisableStatus() override;
  int Close() override;
  // 1 when every byte was sent, -1 when the connection failed or the printer
  // took nothing for longer than the 2000 ms send time-out.
  int Write(const uint8_t* data, int length) override;
  // The bytes received, 0 when none, on error or when not connected.
  int Read(uint8_t* buffer, int size) override;
  void ReaderTurn() override;

  bool connected() const { return state().open != 0; }
  bool holdsSocket() const { return socket_ != platform::kInvalidSocket; }
  // The printer closed the connection and it has not been re-established.
  bool connectionLost() const { return lost_; }

  // Pause between attempts to reach a printer that dropped the connection,
  // and the longest wait for one attempt's connect.
  static constexpr uint32_t kReconnectPauseMs = 1000;
  static constexpr uint32_t kReconnectWaitMs = 1000;
  // How long a write waits for the reader's attempt: one attempt and a turn.
  static constexpr uint32_t kWriteReconnectWaitMs = kReconnectWaitMs + 2 * kTurnPauseMs;

 private:
  int Start();
  int ProbeStatus();
  int PollReply(ReaderBlock& reply, int& counter);
  void Discard();
  static bool NeedsGathering(const ReaderBlock& block);
  void Gather(ReaderBlock& block);
  int AppendReceive(ReaderBlock& block);
  void ApplyStatusTable(const StatusBlock& status);
  void ReleaseSocket();
  platform::SocketHandle NewConnectingSocket();
  void NoteConnectionLost();
  void TryReconnect();
  void WaitForReconnect();

  platform::Sockets& sockets_;
  platform::System& system_;
  std::atomic<platform::SocketHandle> socket_{platform::kInvalidSocket};
  std::string address_;
  int port_ = 0;
  platform::Ipv4Peer peer_;
  bool peerValid_ = false;
  // Whole writes do not interleave (a print-data write waiting for the
  // printer and the reader's status command), and close waits for a write.
  std::mutex sendLock_;
  // Receives and the replacement of the socket do not overlap.
  std::mutex receiveLock_;
  std::atomic<bool> lost_{false};
  std::atomic<uint32_t> lastReconnectMs_{0};  // Set by writers too.
};

}  // namespace links
