// Recent receipts: the last jobs of the journal for a person to look at and
// print again (the tray's list on Windows, portrelay's commands on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/journal_format.h"
#include "core/texts.h"

namespace core {

class RelayService;

inline constexpr std::size_t kRecentJobsShown = 100;

struct RecentJob {
  uint64_t id = 0;
  std::string port;        // the application port it came from
  int64_t receivedMs = 0;  // local calendar milliseconds of its arrival
  uint64_t size = 0;
  JobState state = JobState::kArriving;
};

struct RecentList {
  std::vector<RecentJob> jobs;  // newest first, at most the number asked for
  // Why the list is empty or may be short (the journal is off, full or
  // cannot be read), in the window's code page; empty when nothing is wrong.
  std::string problem;
};

enum class ReprintResult {
  kQueued,     // the worker prints it through the usual path
  kNoJournal,  // the journal is off or failed
  kNoSuchJob,
  kUnreadable,  // its bytes cannot be read back
  kStopping,    // the relay is stopping
  kBusy,        // too many reprints wait already (a faulted printer): ask later
};

// Safe from any thread while the relay runs: each call reads the journal
// folder afresh, once what the relay queued for it is on the disk. A job
// still arriving (its end not seen, or never seen before a crash) is not
// listed and cannot be printed again: the relay does not have all of it.
RecentList ListRecentJobs(RelayService& service, std::size_t most = kRecentJobsShown);
// The job's bytes as the application wrote them; 0 or an error.
int ReadRecentJob(RelayService& service, uint64_t id, std::string& bytes);
// Asks the worker to print the job again, confirmed and with fault handling
// like any job.
// Any thread; returns at once with the job queued or why not.
ReprintResult RequestReprint(RelayService& service, uint64_t id);
// What to tell the person who asked (texts.h; pick it with service.Say).
const Text& ReprintResultText(ReprintResult result);

}  // namespace core
