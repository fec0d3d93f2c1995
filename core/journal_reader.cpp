// Folding the day-files into jobs. Records of a job may span two day-files
// (a job at midnight); records of a job whose arrival was pruned are passed
// over.
#include "core/journal_reader.h"

#include <algorithm>

namespace core {

bool IsUnconfirmed(JobState state) {
  switch (state) {
    case JobState::kReceived:
    case JobState::kSent:
    case JobState::kFault:
    case JobState::kPrintedAgain:
      return true;
    default:
      return false;
  }
}

std::vector<DayFile> DayFiles(const std::vector<platform::DirectoryEntry>& entries) {
  std::vector<DayFile> days;
  for (const platform::DirectoryEntry& entry : entries) {
    DayFile file{entry.name, 0, 0, entry.size};
    if (ParseDayFileName(entry.name, file.day, file.segment)) days.push_back(file);
  }
  std::sort(days.begin(), days.end(), [](const DayFile& a, const DayFile& b) {
    return a.day != b.day ? a.day < b.day : a.segment < b.segment;
  });
  return days;
}

JournalReader::JournalReader(platform::DurableFiles& files, std::string folder, char separator)
    : files_(files), folder_(std::move(folder)), separator_(separator) {}

int JournalReader::Load() {
  jobs_.clear();
  index_.clear();
  damage_.clear();
  lastId_ = 0;
  std::vector<platform::DirectoryEntry> entries;
  if (const int error = files_.ListFiles(folder_, entries)) return error;
  for (const DayFile& file : DayFiles(entries)) LoadFile(file.name);
  return 0;
}

void JournalReader::LoadFile(const std::string& name) {
  std::string data;
  if (const int error = files_.ReadAll(folder_ + separator_ + name, data)) {
    damage_.push_back({name, 0, "cannot be read (error " + std::to_string(error) + ")"});
    return;
  }
  const ParseResult result =
      ParseRecords(data, [&](const JournalRecord& record) { Fold(name, record); });
  if (result.damage) damage_.push_back({name, result.wholeLength, result.damage});
}

void JournalReader::Fold(const std::string& file, const JournalRecord& record) {
  lastId_ = std::max(lastId_, record.id);
  const auto found = index_.find(record.id);
  if (record.type == RecordType::kArrival) {
    if (found != index_.end()) return;  // an id is given once; a second arrival is not ours
    index_[record.id] = jobs_.size();
    JournalJob job;
    job.id = record.id;
    job.port = std::string(record.port);
    job.receivedMs = job.stateMs = record.timeMs;
    jobs_.push_back(std::move(job));
  } else if (found == index_.end()) {
    return;
  }
  JournalJob& job = jobs_[index_[record.id]];
  if (record.type == RecordType::kState) {
    job.state = record.state;
    job.stateMs = record.timeMs;
  } else if (!record.bytes.empty()) {
    job.chunks.push_back({file, record.bytesOffset, record.bytes.size()});
    job.size += record.bytes.size();
  }
}

const JournalJob* JournalReader::Find(uint64_t id) const {
  const auto found = index_.find(id);
  return found == index_.end() ? nullptr : &jobs_[found->second];
}

std::vector<JournalJob> JournalReader::Unconfirmed() const {
  std::vector<JournalJob> jobs;
  for (const JournalJob& job : jobs_) {
    if (IsUnconfirmed(job.state)) jobs.push_back(job);
  }
  return jobs;
}

int JournalReader::ReadBytes(const JournalJob& job, std::string& bytes) const {
  bytes.clear();
  std::string part;
  for (const JournalChunk& chunk : job.chunks) {
    const int error = files_.ReadAt(folder_ + separator_ + chunk.file, chunk.offset,
                                    static_cast<std::size_t>(chunk.size), part);
    if (error) return error;
    // The file was pruned or cut under us: what is left is not the job.
    if (part.size() != chunk.size) return -1;
    bytes += part;
  }
  return 0;
}

}  // namespace core
