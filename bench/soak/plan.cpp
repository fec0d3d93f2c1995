// The schedule's random choices, all drawn from one seeded generator.
#include "bench/soak/plan.h"

#include <cmath>
#include <vector>

namespace soak {
namespace {

// Draws an index from weights.
template <typename Weights>
size_t Pick(std::mt19937_64& rng, const Weights& weights) {
  double total = 0;
  for (double w : weights) total += w;
  double x = std::uniform_real_distribution<double>(0, total)(rng);
  size_t i = 0;
  for (double w : weights) {
    if (x < w) return i;
    x -= w;
    ++i;
  }
  // Rounding left x at the end: the last choice that has a weight.
  size_t last = 0;
  i = 0;
  for (double w : weights) {
    if (w > 0) last = i;
    ++i;
  }
  return last;
}

uint32_t Between(std::mt19937_64& rng, uint32_t lo, uint32_t hi) {
  return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
}

// Spread evenly over the orders of magnitude: many short faults, some long.
uint32_t LogUniform(std::mt19937_64& rng, double lo, double hi) {
  const double x = std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(rng);
  return static_cast<uint32_t>(std::exp(x));
}

}  // namespace

const char* FaultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kCover:
      return "cover open";
    case FaultKind::kPaperOut:
      return "paper out";
    case FaultKind::kPower:
      return "power off";
    case FaultKind::kSilent:
      return "silent";
    case FaultKind::kDrop:
      return "connection dropped";
    case FaultKind::kSplit:
      return "split answers";
    case FaultKind::kNearEnd:
      return "paper near end";
  }
  return "?";
}

std::optional<FaultKind> FaultKindFromOption(const std::string& name) {
  static const char* const kNames[kFaultKinds] = {"cover", "paper-out", "power",   "silent",
                                                  "drop",  "split",     "near-end"};
  for (int k = 0; k < kFaultKinds; ++k) {
    if (name == kNames[k]) return static_cast<FaultKind>(k);
  }
  return std::nullopt;
}

Severity SeverityOf(FaultKind kind) {
  if (kind == FaultKind::kNearEnd) return Severity::kBenign;
  if (kind == FaultKind::kSplit) return Severity::kAnswers;
  return Severity::kFault;
}

const char* PhaseName(Phase phase) {
  switch (phase) {
    case Phase::kBefore:
      return "before";
    case Phase::kDuring:
      return "during";
    case Phase::kConfirm:
      return "confirm";
    case Phase::kAfter:
      return "after";
  }
  return "?";
}

const char* AppModeName(AppMode mode) {
  switch (mode) {
    case AppMode::kReader:
      return "reader";
    case AppMode::kPrintOnly:
      return "print-only";
    case AppMode::kPerJob:
      return "per-job";
  }
  return "?";
}

Planner::Planner(uint64_t seed, int lane, PlanOptions options)
    : options_(options), rng_(seed * 1000003u + static_cast<uint64_t>(lane) * 7919u + 17u) {}

void Planner::NextMode() {
  mode_ = static_cast<AppMode>(Pick(rng_, std::vector<double>{0.5, 0.25, 0.25}));
  // Print-only programs keep their port for long stretches: long enough for
  // their unread answers (about 60 bytes a job) to fill it (about 16 KB).
  modeLeft_ = mode_ == AppMode::kPrintOnly ? static_cast<int>(Between(rng_, 50, 600))
                                           : static_cast<int>(Between(rng_, 5, 60));
  if (options_.onlyMode) mode_ = *options_.onlyMode;
}

FaultPlan Planner::NextFault() {
  FaultPlan f;
  std::vector<double> weights{3, 2, 2, 2, options_.tcp ? 2.0 : 0.0, 1, 1};
  for (int k = 0; k < kFaultKinds; ++k) {
    if ((options_.faultKinds & (1u << k)) == 0) weights[static_cast<size_t>(k)] = 0;
  }
  f.kind = static_cast<FaultKind>(Pick(rng_, weights));
  f.phase = static_cast<Phase>(Pick(rng_, std::vector<double>{0.25, 0.3, 0.3, 0.15}));
  if (f.kind == FaultKind::kDrop) {
    f.durationMs = 0;
  } else if (f.kind == FaultKind::kSplit) {
    f.durationMs = Between(rng_, 1000, 15000);
  } else {
    f.durationMs = LogUniform(rng_, 200, options_.maxFaultMs);
  }
  f.at = std::uniform_real_distribution<double>(0.05, 0.95)(rng_);
  return f;
}

JobPlan Planner::Next() {
  if (modeLeft_-- <= 0) NextMode();
  JobPlan job;
  job.number = ++number_;
  job.mode = mode_;

  // Sizes of receipts: mostly short, some long, a few with a logo.
  const size_t sizeClass = Pick(rng_, std::vector<double>{0.55, 0.3, 0.15});
  const size_t size = sizeClass == 0   ? Between(rng_, 120, 800)
                      : sizeClass == 1 ? Between(rng_, 800, 4000)
                                       : Between(rng_, 4000, 16000);
  job.bytes = MakeJob(job.number, size, sizeClass == 2, rng_);

  job.reopenBefore = mode_ == AppMode::kReader && Between(rng_, 0, 9) == 0;
  const bool query = Between(rng_, 0, 99) < (mode_ == AppMode::kPrintOnly ? 80u : 30u);
  if (query) {
    // Status queries a POS program sends before a receipt.
    if (mode_ == AppMode::kPrintOnly) {
      // Real-time status and the printer's identity (GS I 65 to 69), never read.
      job.query = {0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x04, 0x1D, 0x49, 0x41,
                   0x1D, 0x49, 0x42, 0x1D, 0x49, 0x43, 0x1D, 0x49, 0x44, 0x1D, 0x49, 0x45};
    } else {
      job.query = {0x10, 0x04, static_cast<uint8_t>(Between(rng_, 1, 4))};
    }
  }
  // Drop is a TCP fault; a serial printer with only drop allowed gets none.
  const unsigned usable =
      options_.faultKinds & (options_.tcp ? ~0u : ~(1u << static_cast<int>(FaultKind::kDrop)));
  if (usable != 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < options_.faultRate)
    job.fault = NextFault();

  // Mostly the next receipt follows soon; sometimes the printer idles; now
  // and then two receipts go out back to back (one job for the relay).
  const size_t gap = Pick(rng_, std::vector<double>{0.7, 0.2, 0.1});
  const uint32_t t = options_.receiveTimeoutMs;
  job.gapMs = gap == 0   ? Between(rng_, t + 100, t + 1500)
              : gap == 1 ? Between(rng_, 1500, 4000)
                         : Between(rng_, 0, 30);
  return job;
}

}  // namespace soak
