// The seeded schedule of one printer's soak: for every job its bytes, what
// the application does around it, and the fault injected with it. The same
// seed gives the same schedule; the timing of the relay decides the rest.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "bench/soak/job.h"
#include "bench/soak/verdict.h"

namespace soak {

enum class FaultKind { kCover, kPaperOut, kPower, kSilent, kDrop, kSplit, kNearEnd };
inline constexpr int kFaultKinds = 7;
const char* FaultName(FaultKind kind);
// The kind named on the command line (cover, paper-out, power, silent, drop,
// split, near-end).
std::optional<FaultKind> FaultKindFromOption(const std::string& name);
// Near end is no reason to print a job twice; answers cut in pieces are
// counted as a fault but shown apart (see Severity).
Severity SeverityOf(FaultKind kind);

// When the fault starts, relative to its job.
enum class Phase {
  kBefore,   // just before the job is written: the job meets a faulted printer
  kDuring,   // part-way through writing it
  kConfirm,  // when the relay asks the printer to confirm (process-ID request)
  kAfter,    // once the job has printed, before the next one
};
const char* PhaseName(Phase phase);

// How the application treats its port.
enum class AppMode {
  kReader,     // holds it open, reads the answers after each job
  kPrintOnly,  // holds it open and never reads (common: print-only programs)
  kPerJob,     // opens it for each job and closes it at once after writing
};
const char* AppModeName(AppMode mode);

struct FaultPlan {
  FaultKind kind = FaultKind::kCover;
  Phase phase = Phase::kBefore;
  uint32_t durationMs = 0;  // 0 for a drop, which is one event
  double at = 0.5;          // kDuring: the share of the job written first
};

struct JobPlan {
  uint32_t number = 0;
  Bytes bytes;
  AppMode mode = AppMode::kReader;
  bool reopenBefore = false;  // close and reopen the port before the job
  Bytes query;                // status queries written just before the job
  std::optional<FaultPlan> fault;
  uint32_t gapMs = 0;  // pause after the job has printed
};

struct PlanOptions {
  bool tcp = true;          // the printer's link (drop only on TCP)
  double faultRate = 0.35;  // share of jobs that get a fault
  uint32_t maxFaultMs = 8000;
  uint32_t receiveTimeoutMs = 300;                // the relay's Timeout: gaps are kept above it
  std::optional<AppMode> onlyMode;                // one application behaviour throughout
  unsigned faultKinds = (1u << kFaultKinds) - 1;  // bit per FaultKind that may be drawn
};

class Planner {
 public:
  Planner(uint64_t seed, int lane, PlanOptions options);
  JobPlan Next();

 private:
  FaultPlan NextFault();
  void NextMode();

  PlanOptions options_;
  std::mt19937_64 rng_;
  uint32_t number_ = 0;
  AppMode mode_ = AppMode::kReader;
  int modeLeft_ = 0;
};

}  // namespace soak
