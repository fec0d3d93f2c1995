// The soak's assertions, job by job.
#include "bench/soak/verdict.h"

#include <algorithm>
#include <cstdio>

namespace soak {
namespace {

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", s);
  return text;
}

}  // namespace

double TimeOfOffset(const std::vector<Checkpoint>& checkpoints, size_t offset) {
  auto it = std::lower_bound(checkpoints.begin(), checkpoints.end(), offset,
                             [](const Checkpoint& c, size_t o) { return c.size < o; });
  return it == checkpoints.end() ? -1 : it->time;
}

LaneVerdict Judge(const std::vector<JobRecord>& jobs, const std::vector<FaultSpan>& faults,
                  const std::vector<Piece>& pieces, const std::vector<Checkpoint>& checkpoints,
                  const Limits& limits) {
  LaneVerdict lane;
  std::map<uint32_t, size_t> index;
  for (const JobRecord& job : jobs) {
    index[job.number] = lane.jobs.size();
    JobVerdict v;
    v.number = job.number;
    lane.jobs.push_back(v);
  }
  std::vector<double> lastPiece(jobs.size(), -1);
  for (const Piece& piece : pieces) {
    auto it = index.find(piece.job);
    if (it == index.end()) {
      ++lane.strayPieces;
      continue;
    }
    JobVerdict& v = lane.jobs[it->second];
    const double at = TimeOfOffset(checkpoints, piece.end);
    lastPiece[it->second] = std::max(lastPiece[it->second], at);
    if (!piece.intact) {
      ++v.fragments;
      continue;
    }
    ++v.copies;
    if (piece.interleaved) ++v.interleaved;
    if (v.firstCopy < 0 || (at >= 0 && at < v.firstCopy)) v.firstCopy = at;
  }

  for (size_t i = 0; i < jobs.size(); ++i) {
    const JobRecord& job = jobs[i];
    JobVerdict& v = lane.jobs[i];
    // The job is exposed from its first byte until its last piece came out
    // (or, with none, until the time it had to come out).
    const double exposedUntil = std::max(
        {lastPiece[i], job.writeEnd, v.firstCopy < 0 ? job.writeStart + limits.delayBound : 0.0});
    for (const FaultSpan& f : faults) {
      if (f.start <= exposedUntil && f.end + limits.aftermath >= job.writeStart) {
        v.metFaults.push_back(f.kind);
        if (f.severity != Severity::kBenign) v.metRealFault = true;
        if (f.severity == Severity::kFault) v.metPrinterFault = true;
        if (f.severity == Severity::kKill) v.metKill = true;
      }
    }
    if (v.firstCopy >= 0) v.delay = v.firstCopy - job.writeStart;

    if (!job.written) v.failures.push_back("the application could not write it to its port");
    if (v.copies == 0) {
      v.failures.push_back("never printed whole");
      ++lane.lost;
    } else if (v.delay > limits.delayBound) {
      v.failures.push_back("first whole copy after " + Seconds(v.delay) + " (bound " +
                           Seconds(limits.delayBound) + ")");
      ++lane.late;
    }
    if (v.copies >= 2 && !v.metRealFault) {
      v.failures.push_back("printed " + std::to_string(v.copies) +
                           " times without meeting a fault");
      ++lane.duplicatesWithoutFault;
    }
    if (v.copies >= 2 && v.metKill)
      ++lane.duplicatesAfterKill;
    else if (v.copies >= 2 && v.metRealFault && !v.metPrinterFault)
      ++lane.duplicatesAfterSplitAnswers;
    if (v.fragments > 0 && !v.metRealFault) {
      v.failures.push_back(std::to_string(v.fragments) +
                           " partial or corrupted copies without meeting a fault");
      ++lane.fragmentsWithoutFault;
    }

    ++lane.copyCounts[v.copies];
    if (v.metRealFault) ++lane.metFault;
    lane.fragments += v.fragments;
    lane.interleaved += v.interleaved;
    if (v.delay > lane.worstDelay) {
      lane.worstDelay = v.delay;
      lane.worstDelayJob = v.number;
    }
    for (const std::string& f : v.failures) {
      std::string met;
      for (const std::string& k : v.metFaults) met += (met.empty() ? "" : ", ") + k;
      lane.failures.push_back("job " + std::to_string(v.number) + ": " + f +
                              (met.empty() ? " (met no fault)" : " (met: " + met + ")"));
    }
  }
  return lane;
}

}  // namespace soak
