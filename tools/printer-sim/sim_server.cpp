// Server thread: poll the transport, feed the model, pace the answers.
#include "tools/printer-sim/sim_server.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "tools/printer-sim/fd_util.h"
#include "tools/printer-sim/hex.h"
#include "tools/printer-sim/pty_transport.h"
#include "tools/printer-sim/tcp_transport.h"

namespace printersim {
namespace {

constexpr int kIdlePollMs = 200;
constexpr auto kControlTimeout = std::chrono::seconds(10);
constexpr uint64_t kLargestWindow = 65536;

std::string DropLine(const Bytes& bytes, const char* reason) {
  return "drop " + std::to_string(bytes.size()) + " " + HexString(bytes.data(), bytes.size()) +
         " " + reason;
}

}  // namespace

SimServer::SimServer(SimConfig config, EventSink sink)
    : config_(std::move(config)), sink_(std::move(sink)) {}

SimServer::~SimServer() {
  Stop();
  CloseFd(&wake_fd_);
}

void SimServer::Emit(const std::string& line) {
  if (sink_) sink_(line);
}

int SimServer::Start(std::string* error) {
  if (running_ || thread_.joinable()) {
    *error = "already started";
    return -1;
  }
  if (config_.tcp.empty() == config_.pty.empty()) {
    *error = "exactly one of a TCP address and a pty path is needed";
    return -1;
  }
  if (!config_.record_path.empty() && record_.Open(config_.record_path, error) != 0) return -1;
  if (!config_.printed_path.empty() && printed_.Open(config_.printed_path, error) != 0) return -1;
  renderer_.reset();
  if (!config_.render_dir.empty()) {
    renderer_ = std::make_unique<JobRenderer>(RenderConfig{config_.render_dir, config_.render_gap},
                                              [this](const std::string& line) { Emit(line); });
    if (renderer_->Start(error) != 0) {
      *error = "--render: " + *error;
      return -1;
    }
  }
  if (wake_fd_ < 0) wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) {
    *error = ErrnoText("eventfd");
    return -1;
  }
  if (!config_.tcp.empty()) {
    // A printer with a small receive buffer also has a small TCP window.
    const int window =
        config_.input_buffer > 0
            ? static_cast<int>(std::min<uint64_t>(config_.input_buffer, kLargestWindow))
            : 0;
    auto tcp = std::make_unique<TcpTransport>(config_.tcp, window);
    if (tcp->Open(error) != 0) return -1;
    port_ = tcp->port();
    transport_ = std::move(tcp);
  } else {
    auto pty = std::make_unique<PtyTransport>(config_.pty);
    if (pty->Open(error) != 0) return -1;
    device_path_ = pty->device_path();
    transport_ = std::move(pty);
  }
  PrinterOptions options;
  options.profile = config_.profile;
  options.print_rate = config_.print_rate;
  options.init_clears_asb = config_.init_clears_asb;
  options.status = config_.initial.status;
  options.powered = config_.initial.powered;
  options.silent = config_.initial.silent;
  options.split = config_.initial.split;
  printer_ = std::make_unique<Printer>(options, [this](const std::string& line) { Emit(line); });
  if (renderer_ || printed_.is_open()) {
    printer_->SetFlowSink([this](uint64_t bytes, bool printed) {
      if (renderer_) renderer_->Consumed(bytes, printed, Clock::now());
      if (printed_.is_open() && printed_.Consumed(bytes, printed) != 0)
        Emit("error printed record write failed");
    });
  }

  Emit("listen " + transport_->Description());
  if (!config_.initial.powered) transport_->SetPowered(false, this);
  Emit(printer_->StateLine());

  stop_ = false;
  quit_requested_ = false;
  running_ = true;
  thread_ = std::thread([this] { Loop(); });
  return 0;
}

void SimServer::Stop() {
  stop_ = true;
  if (wake_fd_ >= 0) Wake();
  // From an event callback the thread cannot join itself; it ends on its own.
  if (std::this_thread::get_id() == thread_.get_id()) return;
  if (thread_.joinable()) thread_.join();
  if (transport_) transport_->Close();
  record_.Close();
  printed_.Close();
}

void SimServer::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_fd_, &one, sizeof one);
}

void SimServer::DrainWake() {
  uint64_t value = 0;
  [[maybe_unused]] ssize_t n = ::read(wake_fd_, &value, sizeof value);
}

int SimServer::Control(std::string_view line) {
  ControlAction action;
  if (!ParseControl(line, &action)) return -1;
  return Control(action);
}

int SimServer::Control(ControlAction action) {
  if (!running_) return -2;
  if (std::this_thread::get_id() == thread_.get_id()) {
    Apply(action);
    return 0;
  }
  std::unique_lock<std::mutex> lock(mu_);
  pending_.push_back(action);
  const uint64_t ticket = ++posted_;
  Wake();
  applied_cv_.wait_for(lock, kControlTimeout, [&] { return applied_ >= ticket || !running_; });
  return applied_ >= ticket ? 0 : -2;
}

void SimServer::ApplyPending() {
  std::vector<ControlAction> actions;
  {
    std::lock_guard<std::mutex> lock(mu_);
    actions.swap(pending_);
  }
  for (ControlAction action : actions) Apply(action);
  if (actions.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mu_);
    applied_ += actions.size();
  }
  applied_cv_.notify_all();
}

void SimServer::Apply(ControlAction action) {
  const auto now = Clock::now();
  switch (action) {
    case ControlAction::kCoverOpen:
      printer_->SetCoverOpen(true, now);
      break;
    case ControlAction::kCoverClose:
      printer_->SetCoverOpen(false, now);
      break;
    case ControlAction::kPaperOut:
      printer_->SetPaper(PaperState::kOut, now);
      break;
    case ControlAction::kPaperNearEnd:
      printer_->SetPaper(PaperState::kNearEnd, now);
      break;
    case ControlAction::kPaperOk:
      printer_->SetPaper(PaperState::kOk, now);
      break;
    case ControlAction::kPowerOff:
      if (!printer_->powered()) break;
      transport_->SetPowered(false, this);
      replies_.Clear();
      printer_->SetPower(false, now);
      if (renderer_) renderer_->LinkChanged();
      break;
    case ControlAction::kPowerOn: {
      if (printer_->powered()) break;
      const long discarded = transport_->SetPowered(true, this);
      if (discarded > 0) Emit("discard " + std::to_string(discarded));
      printer_->SetPower(true, now);
      break;
    }
    case ControlAction::kSilentOn:
      printer_->SetSilent(true);
      break;
    case ControlAction::kSilentOff:
      printer_->SetSilent(false);
      break;
    case ControlAction::kSplitOn:
      printer_->SetSplit(true);
      break;
    case ControlAction::kSplitOff:
      printer_->SetSplit(false);
      break;
    case ControlAction::kKeepalive:
      printer_->Keepalive();
      break;
    case ControlAction::kDrop:
      if (!transport_->Drop(this)) Emit("error drop: a pty has no connection of its own to close");
      break;
    case ControlAction::kQuit:
      quit_requested_ = true;
      stop_ = true;
      break;
  }
  Flush();
}

void SimServer::Loop() {
  while (!stop_) {
    const auto now = Clock::now();
    int timeout_ms = kIdlePollMs;
    const auto render_due = renderer_ ? renderer_->Deadline() : std::nullopt;
    for (const auto& when : {printer_->NextWake(), replies_.NextDue(), render_due}) {
      if (!when) continue;
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*when - now).count();
      timeout_ms =
          std::clamp<int>(static_cast<int>(std::min<int64_t>(wait, kIdlePollMs)), 0, timeout_ms);
    }
    transport_->Poll(wake_fd_, timeout_ms, ReadAllowance(), this);
    DrainWake();
    ApplyPending();
    printer_->Advance(Clock::now());
    Flush();
    if (renderer_) renderer_->Tick(Clock::now());
  }
  if (renderer_) renderer_->Finish();
  // Hosts see the printer go away at once, not when the owner gets to Stop().
  transport_->Close();
  {
    std::lock_guard<std::mutex> lock(mu_);
    running_ = false;
  }
  applied_cv_.notify_all();
}

size_t SimServer::ReadAllowance() const {
  if (config_.input_buffer == 0) return Transport::kReadChunk;
  const uint64_t held = printer_->pending_bytes();
  if (held >= config_.input_buffer) return 0;
  return static_cast<size_t>(
      std::min<uint64_t>(config_.input_buffer - held, Transport::kReadChunk));
}

void SimServer::Flush() {
  const auto now = Clock::now();
  for (Bytes& reply : printer_->TakeReplies()) {
    if (!replies_.Push(reply, printer_->split(), now)) Emit(DropLine(reply, "overflow"));
  }
  Bytes piece;
  while (replies_.PopDue(now, &piece)) {
    if (!transport_->Connected()) {
      Emit(DropLine(piece, "no-link"));
    } else if (transport_->Send(piece.data(), piece.size()) != 0) {
      Emit(DropLine(piece, "write-failed"));
    } else {
      Emit("tx " + std::to_string(piece.size()) + " " + HexString(piece.data(), piece.size()));
    }
  }
}

void SimServer::OnConnected(const std::string& peer) {
  Emit("conn open " + peer);
  printer_->ResetLink();
  if (renderer_) renderer_->LinkChanged();
}

void SimServer::OnData(const uint8_t* data, size_t len) {
  received_ += len;
  if (record_.is_open() && record_.Append(data, len) != 0) Emit("error record file write failed");
  Emit("rx " + std::to_string(len) + " " + HexString(data, len));
  if (renderer_ && printer_->powered()) renderer_->Received(data, len);
  if (printed_.is_open() && printer_->powered()) {
    const bool overflowed = printed_.Overflowed();
    printed_.Received(data, len);
    if (!overflowed && printed_.Overflowed()) {
      Emit("error printed record incomplete: over " + std::to_string(PrintedRecord::kMaxWaiting) +
           " bytes waited to be printed");
    }
  }
  printer_->Receive(data, len, Clock::now());
  Flush();
}

void SimServer::OnDisconnected() {
  Emit("conn close");
  printer_->ResetLink();
  if (renderer_) renderer_->LinkChanged();
  Bytes piece;
  while (replies_.PopDue(Clock::time_point::max(), &piece)) Emit(DropLine(piece, "no-link"));
}

void SimServer::OnError(const std::string& message) { Emit("error " + message); }

}  // namespace printersim
