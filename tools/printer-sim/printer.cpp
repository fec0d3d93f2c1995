// Printer model: print queue, data-order execution and status reporting.
#include "tools/printer-sim/printer.h"

#include <algorithm>
#include <cstring>

#include "tools/printer-sim/hex.h"

namespace printersim {
namespace {

// Identity answered to GS I (Epson-compatible values).
constexpr uint8_t kModelId = 0x20;
constexpr uint8_t kTypeId = 0x02;  // Autocutter fitted, no multi-byte fonts.
constexpr uint8_t kVersionId = 0x64;

const char* IdText(uint8_t n) {
  switch (n) {
    case 65:
      return "1.00 ESC/POS";  // Firmware version.
    case 66:
      return "EPSON";  // Manufacturer.
    case 67:
      return "TM-T88V";  // Model.
    case 68:
      return "PSIM000001";  // Serial number.
    case 69:
      return "ANK";  // Additional fonts.
    default:
      return nullptr;
  }
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

bool ClearBufferRequest(const Command& cmd) {
  // DLE DC4 8 1 3 20 1 6 2 8
  static constexpr uint8_t kBody[] = {8, 1, 3, 20, 1, 6, 2, 8};
  return cmd.header_len == sizeof kBody && std::memcmp(cmd.header.data(), kBody, sizeof kBody) == 0;
}

}  // namespace

Printer::Printer(const PrinterOptions& options, EventSink sink)
    : profile_(options.profile != nullptr ? options.profile : &DefaultProfile()),
      rate_(options.print_rate),
      init_clears_asb_(options.init_clears_asb),
      sink_(std::move(sink)),
      status_(options.status),
      powered_(options.powered),
      silent_(options.silent),
      split_(options.split) {}

void Printer::Emit(const std::string& line) const {
  if (sink_) sink_(line);
}

std::string Printer::StateLine() const {
  std::string s = "state cover=";
  s += status_.cover_open ? "open" : "closed";
  s += " paper=";
  s += PaperName(status_.paper);
  s += " power=";
  s += OnOff(powered_);
  s += " asb=";
  s += OnOff(asb_);
  s += " silent=";
  s += OnOff(silent_);
  s += " split=";
  s += OnOff(split_);
  return s;
}

void Printer::Receive(const uint8_t* data, size_t len, Clock::time_point now) {
  if (!powered_) return;
  Advance(now);  // Printing of this data starts now, not at the last call.
  parsed_.clear();
  parser_.Feed(data, len, &parsed_);
  size_t done = 0;
  for (const Command& cmd : parsed_) {
    AddData(cmd.end - done);
    done = cmd.end;
    std::string line = "cmd " + cmd.Name();
    const std::string arg = cmd.Argument();
    if (!arg.empty()) line += " " + arg;
    Emit(line);
    if (cmd.RealTime()) {
      // Whatever could already be printed goes first; the rest waits.
      Advance(now);
      ExecuteRealTime(cmd);
    } else if (cmd.kind != CommandKind::kOther) {
      Hold(cmd);
    }
  }
  AddData(len - done);
  Advance(now);
}

void Printer::AddData(uint64_t bytes) {
  if (bytes == 0) return;
  if (queue_.empty() || queue_.back().has_cmd) queue_.push_back(Item{});
  queue_.back().data += bytes;
  pending_ += bytes;
}

void Printer::Hold(const Command& cmd) {
  if (held_ >= kMaxHeldCommands) {
    Emit("error held command limit reached, dropped " + cmd.Name());
    return;
  }
  if (queue_.empty() || queue_.back().has_cmd) queue_.push_back(Item{});
  queue_.back().has_cmd = true;
  queue_.back().cmd = cmd;
  ++held_;
}

void Printer::ClearQueue() {
  if (flow_ && pending_ > 0) flow_(pending_, false);
  queue_.clear();
  held_ = 0;
  pending_ = 0;
  credit_ = 0;
}

void Printer::Advance(Clock::time_point now) {
  const auto elapsed = now - last_advance_;
  last_advance_ = std::max(last_advance_, now);
  if (!powered_ || status_.Offline() || queue_.empty()) return;
  if (rate_ > 0 && elapsed.count() > 0) {
    credit_ += static_cast<double>(rate_) * std::chrono::duration<double>(elapsed).count();
  }
  while (!queue_.empty()) {
    Item& front = queue_.front();
    if (front.data > 0) {
      uint64_t take = front.data;
      if (rate_ > 0) take = std::min<uint64_t>(take, static_cast<uint64_t>(credit_));
      front.data -= take;
      pending_ -= take;
      printed_ += take;
      if (rate_ > 0) credit_ -= static_cast<double>(take);
      if (flow_ && take > 0) flow_(take, true);
      if (front.data > 0) break;
    }
    const bool has_cmd = front.has_cmd;
    const Command cmd = front.cmd;
    queue_.pop_front();
    if (has_cmd) {
      --held_;
      Execute(cmd);
    }
  }
  if (queue_.empty()) credit_ = 0;
}

std::optional<Clock::time_point> Printer::NextWake() const {
  if (rate_ == 0 || queue_.empty() || !powered_ || status_.Offline()) return std::nullopt;
  const double missing = static_cast<double>(queue_.front().data) - credit_;
  const double seconds = std::max(missing / static_cast<double>(rate_), 0.001);
  return last_advance_ +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::vector<Bytes> Printer::TakeReplies() {
  std::vector<Bytes> out;
  out.swap(replies_);
  return out;
}

void Printer::Reply(Bytes bytes) {
  if (silent_ || !powered_ || replies_.size() >= kMaxReplies) {
    Emit("drop " + std::to_string(bytes.size()) + " " + HexString(bytes.data(), bytes.size()) +
         (silent_     ? " silent"
          : !powered_ ? " power-off"
                      : " overflow"));
    return;
  }
  replies_.push_back(std::move(bytes));
}

void Printer::ExecuteRealTime(const Command& cmd) {
  if (cmd.kind == CommandKind::kDleEot) {
    uint8_t byte = 0;
    if (RealTimeStatusByte(status_, cmd.n(), &byte)) Reply({byte});
  } else if (cmd.kind == CommandKind::kDleDc4 && ClearBufferRequest(cmd)) {
    ClearQueue();
    Reply({0x37, 0x25, 0x00});
  }
  // DLE ENQ asks to recover from errors the simulator never has.
}

void Printer::Execute(const Command& cmd) {
  const uint8_t n = cmd.n();
  switch (cmd.kind) {
    case CommandKind::kAsbEnable:
      SetAsb(n != 0);
      if (asb_) {
        const AsbBlock block = MakeAsbBlock(*profile_, status_);
        Reply(Bytes(block.begin(), block.end()));
      }
      break;
    case CommandKind::kTransmitStatus:
      if (n == 1 || n == 49) Reply({PaperSensorByte(status_)});
      if (n == 2 || n == 50) Reply({0x00});  // Drawer kick connector pin low.
      if (n == 4 || n == 52) Reply({0x00});  // No ink faults.
      break;
    case CommandKind::kPrinterId: {
      if (n == 1 || n == 49) Reply({kModelId});
      if (n == 2 || n == 50) Reply({kTypeId});
      if (n == 3 || n == 51) Reply({kVersionId});
      if (const char* text = IdText(n)) {
        Bytes reply{0x5F};
        reply.insert(reply.end(), text, text + std::strlen(text));
        reply.push_back(0x00);
        Reply(std::move(reply));
      }
      break;
    }
    case CommandKind::kProcessId: {
      const auto id = cmd.ProcessId();
      Reply({0x37, 0x22, id[0], id[1], id[2], id[3], 0x00});
      break;
    }
    case CommandKind::kInitialize:
      if (init_clears_asb_) SetAsb(false);
      break;
    case CommandKind::kPeripheralStatus:
      if (n == 0 || n == 48) Reply({0x00});
      break;
    case CommandKind::kPaperStatus:
      Reply({PaperSensorByte(status_)});
      break;
    default:
      break;
  }
}

void Printer::SetAsb(bool on) {
  if (asb_ == on) return;
  asb_ = on;
  Emit(StateLine());
}

void Printer::ChangeStatus(const PrinterStatus& next, Clock::time_point now) {
  Advance(now);
  if (next == status_) return;
  status_ = next;
  Emit(StateLine());
  if (asb_ && powered_) {
    const AsbBlock block = MakeAsbBlock(*profile_, status_);
    Reply(Bytes(block.begin(), block.end()));
  }
  Advance(now);
}

void Printer::SetCoverOpen(bool open, Clock::time_point now) {
  PrinterStatus next = status_;
  next.cover_open = open;
  ChangeStatus(next, now);
}

void Printer::SetPaper(PaperState paper, Clock::time_point now) {
  PrinterStatus next = status_;
  next.paper = paper;
  ChangeStatus(next, now);
}

void Printer::SetPower(bool on, Clock::time_point now) {
  if (powered_ == on) return;
  powered_ = on;
  ClearQueue();
  parser_.Reset();
  replies_.clear();
  asb_ = false;
  last_advance_ = std::max(last_advance_, now);
  Emit(StateLine());
}

void Printer::SetSilent(bool silent) {
  if (silent_ == silent) return;
  silent_ = silent;
  Emit(StateLine());
}

void Printer::SetSplit(bool split) {
  if (split_ == split) return;
  split_ = split;
  Emit(StateLine());
}

void Printer::Keepalive() {
  static constexpr char kText[] = "_GET_TIME";
  Reply(Bytes(kText, kText + sizeof kText - 1));
}

}  // namespace printersim
