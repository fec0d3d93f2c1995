// FaultInjector: the printer-sim commands of each fault and its clearing.
#include "bench/soak/fault_injector.h"

#include <chrono>

namespace soak {

FaultInjector::FaultInjector(std::function<void(const std::string&)> send,
                             std::function<void(bool)> cts, std::function<double()> now)
    : send_(std::move(send)), cts_(std::move(cts)), now_(std::move(now)) {
  thread_ = std::thread(&FaultInjector::Run, this);
}

FaultInjector::~FaultInjector() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void FaultInjector::Start(FaultKind kind) {
  switch (kind) {
    case FaultKind::kCover:
      send_("cover open");
      break;
    case FaultKind::kPaperOut:
      send_("paper out");
      break;
    case FaultKind::kNearEnd:
      send_("paper near-end");
      break;
    case FaultKind::kPower:
      send_("power off");
      if (cts_) cts_(false);
      break;
    case FaultKind::kSilent:
      send_("silent on");
      break;
    case FaultKind::kSplit:
      send_("split on");
      break;
    case FaultKind::kDrop:
      send_("drop");
      break;
  }
}

void FaultInjector::Clear(FaultKind kind) {
  Running& r = running_[static_cast<size_t>(kind)];
  if (!r.on) return;
  switch (kind) {
    case FaultKind::kCover:
      send_("cover close");
      break;
    case FaultKind::kPaperOut:
    case FaultKind::kNearEnd:
      send_("paper ok");
      break;
    case FaultKind::kPower:
      send_("power on");
      if (cts_) cts_(true);
      break;
    case FaultKind::kSilent:
      send_("silent off");
      break;
    case FaultKind::kSplit:
      send_("split off");
      break;
    case FaultKind::kDrop:
      break;
  }
  r.on = false;
  spans_[r.span].end = now_();
}

bool FaultInjector::Inject(FaultKind kind, uint32_t durationMs) {
  std::lock_guard<std::mutex> g(lock_);
  const double now = now_();
  Running& r = running_[static_cast<size_t>(kind)];
  // Paper out and near end are two states of the same paper.
  const FaultKind other = kind == FaultKind::kPaperOut ? FaultKind::kNearEnd : FaultKind::kPaperOut;
  if ((kind == FaultKind::kPaperOut || kind == FaultKind::kNearEnd) &&
      running_[static_cast<size_t>(other)].on)
    return false;
  ++counts_[FaultName(kind)];
  if (kind == FaultKind::kDrop) {
    Start(kind);
    spans_.push_back(FaultSpan{FaultName(kind), now, now, SeverityOf(kind)});
    return true;
  }
  if (r.on) {
    r.until = std::max(r.until, now + durationMs / 1000.0);
  } else {
    Start(kind);
    r.on = true;
    r.until = now + durationMs / 1000.0;
    r.span = spans_.size();
    spans_.push_back(FaultSpan{FaultName(kind), now, r.until, SeverityOf(kind)});
  }
  changed_.notify_all();
  return true;
}

void FaultInjector::Note(const std::string& what) {
  std::lock_guard<std::mutex> g(lock_);
  const double now = now_();
  ++counts_[what];
  spans_.push_back(FaultSpan{what, now, now, Severity::kBenign});
}

void FaultInjector::ClearAll() {
  std::lock_guard<std::mutex> g(lock_);
  for (int k = 0; k < kFaultKinds; ++k) Clear(static_cast<FaultKind>(k));
}

int FaultInjector::Active() {
  std::lock_guard<std::mutex> g(lock_);
  int n = 0;
  for (const Running& r : running_) n += r.on ? 1 : 0;
  return n;
}

std::vector<FaultSpan> FaultInjector::Spans() {
  std::lock_guard<std::mutex> g(lock_);
  return spans_;
}

std::map<std::string, int> FaultInjector::Counts() {
  std::lock_guard<std::mutex> g(lock_);
  return counts_;
}

void FaultInjector::Run() {
  std::unique_lock<std::mutex> g(lock_);
  while (!stop_) {
    const double now = now_();
    double next = now + 1.0;
    for (int k = 0; k < kFaultKinds; ++k) {
      Running& r = running_[static_cast<size_t>(k)];
      if (!r.on) continue;
      if (r.until <= now) {
        Clear(static_cast<FaultKind>(k));
      } else {
        next = std::min(next, r.until);
      }
    }
    changed_.wait_for(g,
                      std::chrono::milliseconds(static_cast<long long>((next - now) * 1000) + 1));
  }
}

}  // namespace soak
