// Journal: every job the relay reads, with its application port, times,
// bytes and states, kept on disk beside the program (Journal/YYYY_MM_DD.jnl)
// so that neither a crash nor a restart loses a receipt.
//
// Why a file format of our own and not an embedded store: Debian ships
// SQLite for the Linux build (libsqlite3-dev 3.40), but no MinGW-w64 build
// of it (its MinGW libraries stop at zlib and the GnuPG ones), so the Windows
// build would carry a vendored 9 MB amalgamation to keep and patch. What the
// journal does is append, flush and read back in order; it never queries. An
// append-only day-file with a length and a CRC-32 per record gives all of
// that in a few hundred lines, recognises a torn tail for itself, and pruning
// is deleting the oldest day-files; a database would still need VACUUM to
// give the space back.
//
// Threads: Append*, MarkReceived, Sync and Prune may be called from any
// thread and return at once; one background thread writes and flushes. A
// disk that fails (full, read-only, gone) is logged once and turns the
// journal off: printing never waits on it and never stops for it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "core/journal_format.h"
#include "core/journal_reader.h"
#include "platform/clock.h"
#include "platform/durable_files.h"

namespace core {

struct JournalLimits {
  int days = 7;                      // a day-file this many days old goes
  uint64_t maxBytes = 100ull << 20;  // then the oldest go until the rest fit
};

// One line for the log (the relay hands in its Log).
using JournalLog = std::function<void(const std::string& line)>;

class Journal {
 public:
  // Queued bytes past this mean the disk cannot keep up: the journal turns
  // off rather than let the relay's memory grow without end.
  static constexpr std::size_t kQueueLimit = 64u << 20;
  // Records are written at the latest this long after they were queued, or
  // as soon as this much is queued; a job's end, Sync and Prune at once.
  static constexpr uint32_t kRoundMs = 100;
  static constexpr std::size_t kWakeBytes = 1u << 20;

  Journal(platform::DurableFiles& files, platform::Clock& clock, std::string folder, char separator,
          JournalLog log);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Creates the folder, prunes it, reads what it holds (each damaged file is
  // logged once), picks the day-file to continue and starts the writer.
  // Non-zero: the journal stays off (logged once).
  int Open(const JournalLimits& limits);
  // Writes and flushes what is queued and ends the writer.
  void Close();
  bool on() const { return running_.load() && !failed_.load(); }
  // What Open read, for the restart recovery; still the whole journal while
  // nothing has been recorded since.
  const JournalReader& atOpen() const { return atOpen_; }
  bool unchangedSinceOpen() const { return !changed_.load(); }

  // A job's first bytes, stamped with the clock; gives the job's id (0 while
  // the journal is off, which the other calls pass over).
  uint64_t AppendArrival(std::string_view port, std::string_view bytes);
  void AppendBytes(uint64_t id, std::string_view bytes);
  // The job's end: its state becomes received. The future turns true once
  // the job is on stable storage, false when the journal is or went off.
  std::future<bool> MarkReceived(uint64_t id);
  // sent, confirmed, fault, printed again, abandoned, discarded. Written in
  // the writer's next round, flushed with the next job's end: a state lost to
  // a forced end or a power cut only means a job printed once more.
  void AppendState(uint64_t id, JobState state);
  // Everything queued so far written and flushed, as for MarkReceived.
  std::future<bool> Sync();
  // Applies the limits on the writer's thread (the relay asks hourly).
  void Prune();

 private:
  enum class Kind { kRecord, kFlush, kPrune };
  struct Pending {
    Kind kind = Kind::kRecord;
    std::string bytes;
    std::optional<std::promise<bool>> done;
  };

  std::future<bool> Enqueue(Kind kind, std::string bytes, bool wantDone);
  void Fail(const std::string& what, int error);
  void WriterLoop();
  void WriteBatch(std::deque<Pending>& batch);
  bool WriteOut(std::string& buffer);
  bool OpenDayFile(const platform::LocalTime& now);
  void PruneFiles();
  int64_t NowMs() { return CivilMs(clock_.LocalNow()); }
  std::string PathOf(const std::string& name) const { return folder_ + separator_ + name; }

  platform::DurableFiles& files_;
  platform::Clock& clock_;
  const std::string folder_;
  const char separator_;
  JournalLog log_;
  JournalLimits limits_;
  JournalReader atOpen_;

  std::atomic<bool> running_{false};
  std::atomic<bool> failed_{false};
  std::atomic<uint64_t> nextId_{1};
  std::atomic<bool> changed_{false};  // a record or a prune queued since Open

  std::mutex lock_;  // guards the queue, stop_ and urgent_
  std::condition_variable wake_;
  std::deque<Pending> queue_;
  std::size_t queuedBytes_ = 0;
  bool stop_ = false;
  bool urgent_ = false;  // a caller waits, or much is queued
  std::thread writer_;

  // The writer thread's own (and Open's, before it starts).
  std::unique_ptr<platform::DurableFile> file_;
  std::string out_;  // a round's records, as one write
  // Day-files known to read whole (true) or damaged: those Open read, and
  // the ones written since. Others are read before they are continued.
  std::unordered_map<std::string, bool> wholeFiles_;
  std::string fileName_;
  int64_t fileDay_ = -1;
  bool unflushed_ = false;
};

}  // namespace core
