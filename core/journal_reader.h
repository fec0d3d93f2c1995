// JournalReader: the journal folder read back as a list of jobs with their
// last state. The relay's recovery reads it at start-up; the recent-receipts
// list reads it while the relay writes (a record still being written then
// reads as a torn tail, which is expected and not lost).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/journal_format.h"
#include "platform/durable_files.h"

namespace core {

// Where a part of a job's bytes sits: a day-file of the folder and a range.
struct JournalChunk {
  std::string file;
  uint64_t offset = 0;
  uint64_t size = 0;
};

struct JournalJob {
  uint64_t id = 0;
  std::string port;        // the application port it came from
  int64_t receivedMs = 0;  // local calendar milliseconds of its arrival
  uint64_t size = 0;       // bytes in the journal
  JobState state = JobState::kArriving;
  int64_t stateMs = 0;  // when the last state was recorded
  std::vector<JournalChunk> chunks;
};

// Where a day-file stopped being readable; everything before it was kept.
struct JournalDamage {
  std::string file;
  uint64_t offset = 0;
  std::string reason;
};

// A job that must still reach the printer: its end was seen (received), and
// no confirmation, discard or abandonment followed. A job whose end was never
// seen is not one: the relay never had all of it.
bool IsUnconfirmed(JobState state);

class JournalReader {
 public:
  JournalReader(platform::DurableFiles& files, std::string folder, char separator);

  // Reads every day-file, oldest first, folding its records into jobs.
  // 0, or the error of listing the folder (files that cannot be read count
  // as damage).
  int Load();

  const std::vector<JournalJob>& jobs() const { return jobs_; }  // in order of arrival
  const std::vector<JournalDamage>& damage() const { return damage_; }
  uint64_t lastId() const { return lastId_; }
  const JournalJob* Find(uint64_t id) const;
  std::vector<JournalJob> Unconfirmed() const;
  // The job's bytes as the application wrote them.
  int ReadBytes(const JournalJob& job, std::string& bytes) const;

 private:
  void LoadFile(const std::string& name);
  void Fold(const std::string& file, const JournalRecord& record);

  platform::DurableFiles& files_;
  std::string folder_;
  char separator_;
  std::vector<JournalJob> jobs_;
  std::unordered_map<uint64_t, std::size_t> index_;
  std::vector<JournalDamage> damage_;
  uint64_t lastId_ = 0;
};

// The day-files of a folder's listing, oldest first.
struct DayFile {
  std::string name;
  int64_t day = 0;
  int segment = 0;
  uint64_t size = 0;
};
std::vector<DayFile> DayFiles(const std::vector<platform::DirectoryEntry>& entries);

}  // namespace core
