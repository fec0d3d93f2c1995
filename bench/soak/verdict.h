// Judging one printer's soak from what happened: the jobs the application
// wrote, the faults injected, and the copies found in the printed record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench/soak/record_split.h"

namespace soak {

// Times are seconds since the start of the run.
struct JobRecord {
  uint32_t number = 0;
  size_t size = 0;
  double writeStart = 0;
  double writeEnd = 0;
  bool written = false;  // All of it went into the application's port.
};

// How far a fault excuses a job printed twice.
enum class Severity {
  kBenign,   // never (near end, the application reopening its port)
  kAnswers,  // answers cut in pieces: excused, but shown on a row of its own
  kFault,    // a printer fault: excused
  kKill,     // the relay killed while the job was in flight: excused, counted apart
};

struct FaultSpan {
  std::string kind;
  double start = 0;
  double end = 0;
  Severity severity = Severity::kFault;
};

// When the printed record first reached `size` bytes.
struct Checkpoint {
  double time = 0;
  size_t size = 0;
};

struct Limits {
  double delayBound = 30;  // s from the first byte written to the first whole copy printed
  double aftermath = 2;    // s a fault still counts after it was cleared
};

struct JobVerdict {
  uint32_t number = 0;
  int copies = 0;         // Intact copies.
  int interleaved = 0;    // Of them, with relay commands between the job's bytes.
  int fragments = 0;      // Cut short, corrupted, or tails without a start.
  double firstCopy = -1;  // Time of the first intact copy, -1: none.
  double delay = -1;
  std::vector<std::string> metFaults;  // Kinds, in order met (benign ones too).
  bool metRealFault = false;           // a fault that excuses a second copy
  bool metPrinterFault = false;        // of them, more than answers cut in pieces
  bool metKill = false;                // the relay was killed while it was in flight
  std::vector<std::string> failures;   // Empty: the job passed.
};

struct LaneVerdict {
  std::vector<JobVerdict> jobs;
  std::map<int, int> copyCounts;  // copies -> jobs
  int lost = 0;
  int duplicatesWithoutFault = 0;
  int duplicatesAfterSplitAnswers = 0;  // excused only by answers cut in pieces
  int duplicatesAfterKill = 0;          // second copies of jobs in flight at a kill
  int fragmentsWithoutFault = 0;
  int late = 0;
  int metFault = 0;
  int fragments = 0;
  int interleaved = 0;
  double worstDelay = 0;
  uint32_t worstDelayJob = 0;
  int strayPieces = 0;  // Pieces of job numbers never written.
  std::vector<std::string> failures;
};

// Time at which the record held `offset` bytes, -1 when it never did.
double TimeOfOffset(const std::vector<Checkpoint>& checkpoints, size_t offset);

LaneVerdict Judge(const std::vector<JobRecord>& jobs, const std::vector<FaultSpan>& faults,
                  const std::vector<Piece>& pieces, const std::vector<Checkpoint>& checkpoints,
                  const Limits& limits);

}  // namespace soak
