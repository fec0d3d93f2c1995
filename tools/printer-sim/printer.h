// The simulated receipt printer: status, Automatic Status Back, the print
// queue and the answers to the host's commands.
//
// Pure model: no I/O and no clock of its own; callers pass the time. Real-time
// commands are answered on reception; everything else is executed in data
// order as "printing" proceeds, which stops while the printer is off-line
// (cover open or paper out), so data-order answers such as the process-ID
// reply are held until the fault clears.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "escpos/command.h"
#include "escpos/parser.h"
#include "tools/printer-sim/printer_status.h"
#include "tools/printer-sim/profile.h"

namespace printersim {

// The commands come from the product's ESC/POS decoder.
using escpos::Command;
using escpos::CommandKind;
using escpos::EscPosParser;

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
// Receives one event line (no trailing newline).
using EventSink = std::function<void(const std::string& line)>;
// Told, in stream order, that the next `bytes` received bytes were printed
// (true) or thrown away unprinted (false).
using FlowSink = std::function<void(uint64_t bytes, bool printed)>;

struct PrinterOptions {
  const Profile* profile = nullptr;  // nullptr selects DefaultProfile().
  uint64_t print_rate = 0;           // Bytes per second; 0 prints instantly.
  bool init_clears_asb = true;       // ESC @ disables ASB, as Epson printers do.
  PrinterStatus status;              // Initial mechanical state.
  bool powered = true;
  bool silent = false;
  bool split = false;
};

class Printer {
 public:
  // Bounds on what a misbehaving host can make the model hold.
  static constexpr size_t kMaxHeldCommands = 65536;
  static constexpr size_t kMaxReplies = 4096;

  explicit Printer(const PrinterOptions& options = {}, EventSink sink = nullptr);

  // Bytes from the host. Emits a "cmd" event per recognised command.
  void Receive(const uint8_t* data, size_t len, Clock::time_point now = Clock::now());
  // Prints what the print rate allows up to `now` and executes the commands
  // reached; a no-op while off-line or powered off.
  void Advance(Clock::time_point now = Clock::now());
  // When Advance next has work to do; nullopt when only new input or a state
  // change can make progress.
  std::optional<Clock::time_point> NextWake() const;
  // Answers produced so far, in the order they are to be sent.
  std::vector<Bytes> TakeReplies();

  // Operator actions. Each emits a "state" event and, with ASB enabled, an
  // ASB block when the status changes.
  void SetCoverOpen(bool open, Clock::time_point now = Clock::now());
  void SetPaper(PaperState paper, Clock::time_point now = Clock::now());
  // Power off loses queued data, ASB and partial commands; power on starts
  // with ASB disabled.
  void SetPower(bool on, Clock::time_point now = Clock::now());
  // Silent: commands are still processed, answers are dropped.
  void SetSilent(bool silent);
  // Only recorded for the state line; the transport splits the answers.
  void SetSplit(bool split);
  // Queues the 9-byte "_GET_TIME" keepalive.
  void Keepalive();
  // The host side changed (new connection); a partly received command is
  // dropped so it cannot swallow the next host's bytes.
  void ResetLink() { parser_.Reset(); }
  void SetFlowSink(FlowSink sink) { flow_ = std::move(sink); }

  const PrinterStatus& status() const { return status_; }
  const Profile& profile() const { return *profile_; }
  bool powered() const { return powered_; }
  bool silent() const { return silent_; }
  bool split() const { return split_; }
  bool asb_enabled() const { return asb_; }
  uint64_t pending_bytes() const { return pending_; }
  uint64_t printed_bytes() const { return printed_; }
  size_t held_commands() const { return held_; }
  // "state cover=closed paper=ok power=on asb=off silent=off split=off".
  std::string StateLine() const;

 private:
  struct Item {
    uint64_t data = 0;  // Print data to finish before `cmd` runs.
    bool has_cmd = false;
    Command cmd;
  };

  void AddData(uint64_t bytes);
  void Hold(const Command& cmd);
  void ExecuteRealTime(const Command& cmd);
  void Execute(const Command& cmd);
  void ChangeStatus(const PrinterStatus& next, Clock::time_point now);
  void SetAsb(bool on);
  void Reply(Bytes bytes);
  void Emit(const std::string& line) const;
  void ClearQueue();

  const Profile* profile_;
  uint64_t rate_;
  bool init_clears_asb_;
  EventSink sink_;
  FlowSink flow_;
  EscPosParser parser_;
  std::vector<Command> parsed_;
  PrinterStatus status_;
  bool powered_;
  bool silent_ = false;
  bool split_ = false;
  bool asb_ = false;
  std::deque<Item> queue_;
  size_t held_ = 0;
  uint64_t pending_ = 0;
  uint64_t printed_ = 0;
  double credit_ = 0;  // Bytes the print rate allows but not yet printed.
  Clock::time_point last_advance_{};
  std::vector<Bytes> replies_;
};

}  // namespace printersim
