// The recent receipts read from the journal folder with a reader of their own
// (the relay keeps writing meanwhile), and the reprint handed to the worker.
#include "core/recent_receipts.h"

#include <chrono>

#include "core/format.h"
#include "core/journal_reader.h"
#include "core/relay_service.h"

namespace core {
namespace {

// How long a list waits for what the relay queued to reach the disk: the job
// that ended a moment ago belongs in it.
constexpr uint32_t kSyncWaitMs = 1000;

void SyncJournal(RelayService& service) {
  if (Journal* journal = service.journal()) {
    std::future<bool> done = journal->Sync();
    done.wait_for(std::chrono::milliseconds(kSyncWaitMs));
  }
}

JournalReader ReaderOf(RelayService& service) {
  platform::Platform& platform = service.platform();
  return JournalReader(*platform.durableFiles, service.journalFolder(),
                       platform.files->PathSeparator());
}

bool Listed(const JournalJob& job) { return job.state != JobState::kArriving; }

// Damage that is not the record the relay is writing now: a torn tail of the
// newest day-file is that record, not yet whole.
int RealDamage(const JournalReader& reader) {
  std::string newest;
  for (const JournalJob& job : reader.jobs())
    for (const JournalChunk& chunk : job.chunks) newest = std::max(newest, chunk.file);
  for (const JournalDamage& damage : reader.damage()) newest = std::max(newest, damage.file);
  int count = 0;
  for (const JournalDamage& damage : reader.damage()) {
    const bool tornTail = damage.file == newest && damage.reason.rfind("torn", 0) == 0;
    if (!tornTail) ++count;
  }
  return count;
}

bool JournalKept(RelayService& service) {
  return service.settings().journalOn.load() != 0 && service.platform().durableFiles != nullptr;
}

// The job `id` whole, read afresh; 0, or why not (-1: no such listed job).
int FindJob(RelayService& service, JournalReader& reader, uint64_t id, const JournalJob*& job) {
  SyncJournal(service);
  if (const int error = reader.Load()) return error;
  job = reader.Find(id);
  return job && Listed(*job) ? 0 : -1;
}

}  // namespace

RecentList ListRecentJobs(RelayService& service, std::size_t most) {
  RecentList list;
  if (!JournalKept(service)) {
    list.problem = service.Say(texts::kRecentJournalOff);
    return list;
  }
  SyncJournal(service);
  JournalReader reader = ReaderOf(service);
  if (const int error = reader.Load()) {
    list.problem = FormatText(service.Say(texts::kRecentJournalUnreadable).c_str(), error);
    return list;
  }
  const std::vector<JournalJob>& jobs = reader.jobs();
  for (auto job = jobs.rbegin(); job != jobs.rend() && list.jobs.size() < most; ++job) {
    if (Listed(*job))
      list.jobs.push_back({job->id, job->port, job->receivedMs, job->size, job->state});
  }
  if (!service.journal()) {
    list.problem = service.Say(texts::kRecentJournalFailed);
  } else if (const int damaged = RealDamage(reader)) {
    list.problem = FormatText(service.Say(texts::kRecentJournalDamaged).c_str(), damaged);
  }
  return list;
}

int ReadRecentJob(RelayService& service, uint64_t id, std::string& bytes) {
  bytes.clear();
  if (!JournalKept(service)) return -1;
  JournalReader reader = ReaderOf(service);
  const JournalJob* job = nullptr;
  if (const int error = FindJob(service, reader, id, job)) return error;
  const int error = reader.ReadBytes(*job, bytes);
  if (error == 0 && bytes.size() != job->size) return -1;
  return error;
}

ReprintResult RequestReprint(RelayService& service, uint64_t id) {
  if (service.stopFlag().load()) return ReprintResult::kStopping;
  if (!JournalKept(service) || !service.journal()) return ReprintResult::kNoJournal;
  RelayWorker& worker = service.worker();
  if (worker.ReprintQueued(id)) return ReprintResult::kQueued;
  JournalReader reader = ReaderOf(service);
  const JournalJob* job = nullptr;
  const int error = FindJob(service, reader, id, job);
  if (error == -1) return ReprintResult::kNoSuchJob;
  std::string bytes;
  if (error != 0 || reader.ReadBytes(*job, bytes) != 0 || bytes.size() != job->size)
    return ReprintResult::kUnreadable;
  return worker.QueueReprint(id, job->port, std::move(bytes));
}

const Text& ReprintResultText(ReprintResult result) {
  switch (result) {
    case ReprintResult::kQueued:
      return texts::kReprintQueued;
    case ReprintResult::kNoJournal:
      return texts::kReprintNoJournal;
    case ReprintResult::kNoSuchJob:
      return texts::kReprintNoSuchJob;
    case ReprintResult::kUnreadable:
      return texts::kReprintUnreadable;
    case ReprintResult::kStopping:
      return texts::kReprintStopping;
    case ReprintResult::kBusy:
      break;
  }
  return texts::kReprintBusy;
}

}  // namespace core
