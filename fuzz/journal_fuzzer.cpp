// Fuzzing the job journal's reader with any day-file a power cut, a full disk
// or flipped bits may leave: reading never fails, it keeps exactly the whole
// records before the damage and names the damage when it stopped early, and
// every job it lists gives back as many bytes as it claims.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/journal_reader.h"

namespace {

// One folder holding one day-file, in memory.
class MemoryFiles : public platform::DurableFiles {
 public:
  explicit MemoryFiles(std::string data) : data_(std::move(data)) {}
  int MakePrivateDirectory(const std::string&) override { return 0; }
  int OpenAppend(const std::string&, std::unique_ptr<platform::DurableFile>&) override { return 1; }
  int ReadAll(const std::string&, std::string& bytes) override {
    bytes = data_;
    return 0;
  }
  int ReadAt(const std::string&, uint64_t offset, std::size_t size, std::string& bytes) override {
    bytes = offset < data_.size() ? data_.substr(offset, size) : std::string();
    return 0;
  }
  int ListFiles(const std::string&, std::vector<platform::DirectoryEntry>& entries) override {
    entries = {{"2026_12_08.jnl", data_.size()}};
    return 0;
  }
  int Remove(const std::string&) override { return 1; }
  int RemoveFolder(const std::string&) override { return 1; }

 private:
  std::string data_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t records = 0;
  const core::ParseResult parsed = core::ParseRecords(text, [&](const core::JournalRecord& r) {
    if (r.bytesOffset + r.bytes.size() > text.size()) std::abort();
    ++records;
  });
  if (parsed.wholeLength > size || (parsed.wholeLength < size) != (parsed.damage != nullptr)) {
    std::abort();
  }
  // The whole records alone read the same, without damage.
  std::size_t again = 0;
  const core::ParseResult whole = core::ParseRecords(
      std::string_view(text).substr(0, parsed.wholeLength), [&](const auto&) { ++again; });
  if (whole.damage || again != records) std::abort();

  MemoryFiles files(text);
  core::JournalReader reader(files, "Journal", '/');
  if (reader.Load() != 0 || reader.damage().size() != (parsed.damage ? 1u : 0u)) std::abort();
  for (const core::JournalJob& job : reader.jobs()) {
    std::string bytes;
    if (reader.ReadBytes(job, bytes) != 0 || bytes.size() != job.size) std::abort();
  }
  return 0;
}
