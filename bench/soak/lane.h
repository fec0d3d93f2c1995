// One printer's soak: a fresh installation of the Linux portrelay (headless,
// Popup=NO, Reprint=YES, LogFile=YES) with printer-sim on TCP or on a
// pseudo-terminal (Port=COM3), and the application's side of the virtual
// port, run through the seeded schedule.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/soak/plan.h"
#include "bench/soak/proc_stats.h"
#include "bench/soak/verdict.h"

namespace soak {

struct LaneOptions {
  std::string name;  // "TCP printer", "serial printer"
  bool tcp = true;
  // The serial printer's cable carries CTS (through the modem-line library):
  // the relay sees the printer switched off.
  bool serialCts = true;
  uint64_t seed = 1;
  int index = 0;
  uint32_t jobs = 0;   // at least this many jobs
  double minutes = 0;  // and at least this long
  PlanOptions plan;
  uint32_t resultTimeoutMs = 3000;
  Limits limits;
  int warmupJobs = 10;
  // Share of the jobs during which the relay is killed with SIGKILL (while
  // the job arrives, is held, is forwarded or is confirmed) and started again
  // after 0-3 s.
  double killRate = 0;
  std::string relayBinary;
  std::string simBinary;
  std::string modemLinesLibrary;
  bool keep = false;
  bool verbose = false;
  std::chrono::steady_clock::time_point t0;
  const std::atomic<bool>* interrupted = nullptr;
};

struct LaneResult {
  std::string name;
  std::vector<std::string> failures;  // lane-wide ones; the jobs' are in verdict
  std::vector<JobRecord> jobs;
  std::map<std::string, int> injected;
  LaneVerdict verdict;
  std::optional<ProcStats> start, end;
  long peakRssKb = 0;
  int peakFds = 0;
  double startTime = 0, endTime = 0;  // of the two samples, run seconds
  double cpuPercent = 0;              // the relay's, over the whole run
  double exitSeconds = -1;            // from SIGTERM to the relay's exit
  uint64_t replyBytes = 0;            // answers the application read
  std::map<std::string, int> kills;   // by the job's moment
  int rewritten = 0;                  // jobs the application wrote again after its port went away
  double minutes = 0;
  std::string workDir;
  bool passed = false;
};

LaneResult RunLane(const LaneOptions& options);

// Memory may grow this much between the two samples; files and threads not at all.
long RssToleranceKb(long startKb);
inline constexpr double kCpuLimitPercent = 25;
inline constexpr double kExitLimitSeconds = 5;

}  // namespace soak
