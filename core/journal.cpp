// The journal's writer: callers queue encoded records; one thread takes the
// whole queue at a time, appends it in one write and flushes once for all the
// waiters in it, so a burst of jobs costs one flush, not one each.
#include "core/journal.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace core {

Journal::Journal(platform::DurableFiles& files, platform::Clock& clock, std::string folder,
                 char separator, JournalLog log)
    : files_(files),
      clock_(clock),
      folder_(std::move(folder)),
      separator_(separator),
      log_(std::move(log)),
      atOpen_(files, folder_, separator) {}

Journal::~Journal() { Close(); }

int Journal::Open(const JournalLimits& limits) {
  if (running_.load()) return 0;
  limits_ = limits;
  failed_ = false;
  if (const int error = files_.MakePrivateDirectory(folder_)) {
    Fail("cannot create " + folder_, error);
    return error;
  }
  PruneFiles();
  if (const int error = atOpen_.Load()) {
    Fail("cannot list " + folder_, error);
    return error;
  }
  for (const JournalDamage& damage : atOpen_.damage()) {
    log_("Journal: " + damage.file + " is damaged at byte " + std::to_string(damage.offset) + " (" +
         damage.reason + "); the records before it are kept");
  }
  // What the reader just went through need not be read again when the
  // first record opens the day's file.
  wholeFiles_.clear();
  std::vector<platform::DirectoryEntry> entries;
  files_.ListFiles(folder_, entries);
  for (const DayFile& file : DayFiles(entries)) {
    wholeFiles_[file.name] =
        std::none_of(atOpen_.damage().begin(), atOpen_.damage().end(),
                     [&](const JournalDamage& damage) { return damage.file == file.name; });
  }
  // The day-file is opened by the first record: a relay that prints nothing
  // leaves no empty files behind.
  nextId_ = atOpen_.lastId() + 1;
  changed_ = false;
  fileDay_ = -1;
  stop_ = false;
  running_ = true;
  writer_ = std::thread([this] { WriterLoop(); });
  return 0;
}

void Journal::Close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  wake_.notify_one();
  if (writer_.joinable()) writer_.join();
  running_ = false;
  file_.reset();
  // A call that raced with the close never waits for ever.
  std::deque<Pending> late;
  {
    std::lock_guard<std::mutex> guard(lock_);
    late.swap(queue_);
    queuedBytes_ = 0;
  }
  for (Pending& pending : late) {
    if (pending.done) pending.done->set_value(false);
  }
}

uint64_t Journal::AppendArrival(std::string_view port, std::string_view bytes) {
  if (!on()) return 0;
  const uint64_t id = nextId_.fetch_add(1);
  const std::size_t room = ArrivalBytesRoom(port.size());
  Enqueue(Kind::kRecord, EncodeArrival(id, NowMs(), port, bytes.substr(0, room)), false);
  if (bytes.size() > room) AppendBytes(id, bytes.substr(room));
  return id;
}

void Journal::AppendBytes(uint64_t id, std::string_view bytes) {
  if (id == 0 || !on()) return;
  for (std::size_t at = 0; at < bytes.size(); at += kBytesRoom) {
    Enqueue(Kind::kRecord, EncodeBytes(id, bytes.substr(at, kBytesRoom)), false);
  }
}

std::future<bool> Journal::MarkReceived(uint64_t id) {
  if (id == 0) return Enqueue(Kind::kFlush, {}, true);
  return Enqueue(Kind::kRecord, EncodeState(id, NowMs(), JobState::kReceived), true);
}

void Journal::AppendState(uint64_t id, JobState state) {
  if (id == 0 || state == JobState::kArriving) return;
  Enqueue(Kind::kRecord, EncodeState(id, NowMs(), state), false);
}

std::future<bool> Journal::Sync() { return Enqueue(Kind::kFlush, {}, true); }

void Journal::Prune() { Enqueue(Kind::kPrune, {}, false); }

std::future<bool> Journal::Enqueue(Kind kind, std::string bytes, bool wantDone) {
  Pending pending;
  pending.kind = kind;
  std::future<bool> done;
  if (wantDone) done = pending.done.emplace().get_future();
  if (!on()) {
    if (pending.done) pending.done->set_value(false);
    return done;
  }
  bool tooMuch = false;
  bool wake = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    tooMuch = queuedBytes_ + bytes.size() > kQueueLimit;
    if (!tooMuch) {
      if (kind != Kind::kFlush) changed_ = true;
      queuedBytes_ += bytes.size();
      pending.bytes = std::move(bytes);
      queue_.push_back(std::move(pending));
      // Plain records wait for the writer's round: waking it for each chunk
      // would take a core from the forwarding on a busy machine. The first
      // one starts the round; an idle writer sleeps without a time-out.
      urgent_ = urgent_ || wantDone || kind != Kind::kRecord || queuedBytes_ >= kWakeBytes;
      wake = urgent_ || queue_.size() == 1;
    }
  }
  if (tooMuch) {
    Fail("cannot keep up with the jobs", 0);
    if (pending.done) pending.done->set_value(false);
    return done;
  }
  if (wake) wake_.notify_one();
  return done;
}

void Journal::Fail(const std::string& what, int error) {
  if (failed_.exchange(true)) return;
  std::string line = "Journal: " + what;
  if (error != 0) line += " (error " + std::to_string(error) + ")";
  log_(line + "; jobs are printed without the journal");
}

void Journal::WriterLoop() {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    wake_.wait_for(lock, std::chrono::milliseconds(kRoundMs), [this] { return stop_ || urgent_; });
    urgent_ = false;
    if (queue_.empty()) {
      if (stop_) break;
      continue;
    }
    std::deque<Pending> batch;
    batch.swap(queue_);
    queuedBytes_ = 0;
    lock.unlock();
    WriteBatch(batch);
    lock.lock();
  }
  lock.unlock();
  if (unflushed_ && !failed_.load() && file_) file_->Flush();
}

// Records go out in the order they were queued; a prune waits for the
// records before it; the flush comes once, after all, when anyone waits.
// The checksums are taken here, on the writer's thread.
void Journal::WriteBatch(std::deque<Pending>& batch) {
  std::string& buffer = out_;
  bool flush = false;
  bool ok = true;
  for (Pending& pending : batch) {
    if (pending.kind == Kind::kRecord) {
      SealRecord(pending.bytes);
      buffer += pending.bytes;
    }
    if (pending.kind == Kind::kPrune) {
      ok = WriteOut(buffer) && ok;
      PruneFiles();
    }
    flush = flush || pending.done.has_value();
  }
  ok = WriteOut(buffer) && ok;
  if (ok && flush && unflushed_) {
    if (const int error = file_->Flush()) {
      Fail("cannot flush " + PathOf(fileName_), error);
      ok = false;
    }
    unflushed_ = false;
  }
  for (Pending& pending : batch) {
    if (pending.done) pending.done->set_value(ok && !failed_.load());
  }
  // The buffer is kept for the next round, unless a burst made it large.
  buffer.clear();
  if (buffer.capacity() > 2 * kWakeBytes) buffer.shrink_to_fit();
}

bool Journal::WriteOut(std::string& buffer) {
  if (failed_.load()) return false;
  if (buffer.empty()) return true;
  const platform::LocalTime now = clock_.LocalNow();
  if (CivilDay(now.year, now.month, now.day) != fileDay_ && !OpenDayFile(now)) return false;
  if (const int error = file_->Append(buffer.data(), buffer.size())) {
    Fail("cannot write " + PathOf(fileName_), error);
    return false;
  }
  unflushed_ = true;
  buffer.clear();
  return true;
}

// The day's last file is continued when it reads whole; after a torn or
// damaged one, new records go to the next file of the day, since a reader
// stops at the damage and would never see them.
bool Journal::OpenDayFile(const platform::LocalTime& now) {
  if (file_ && unflushed_) file_->Flush();
  file_.reset();
  unflushed_ = false;
  const int64_t today = CivilDay(now.year, now.month, now.day);
  int segment = 0;
  std::vector<platform::DirectoryEntry> entries;
  files_.ListFiles(folder_, entries);
  for (const DayFile& file : DayFiles(entries)) {
    if (file.day != today) continue;
    const auto known = wholeFiles_.find(file.name);
    bool whole = known != wholeFiles_.end() && known->second;
    if (known == wholeFiles_.end()) {
      std::string data;
      whole = files_.ReadAll(PathOf(file.name), data) == 0 &&
              ParseRecords(data, [](const JournalRecord&) {}).wholeLength == data.size();
    }
    segment = whole ? file.segment : file.segment + 1;
  }
  if (segment > 99) {
    Fail("too many damaged files today in " + folder_, 0);
    return false;
  }
  fileName_ = DayFileName(now, segment);
  if (const int error = files_.OpenAppend(PathOf(fileName_), file_)) {
    Fail("cannot open " + PathOf(fileName_), error);
    file_.reset();
    return false;
  }
  fileDay_ = today;
  wholeFiles_[fileName_] = true;  // what this writer appends stays whole, or the journal goes off
  return true;
}

// Too old first, then the oldest until the rest fit; the newest file and the
// one being written stay whatever their size: they hold the jobs in flight.
void Journal::PruneFiles() {
  const platform::LocalTime now = clock_.LocalNow();
  const int64_t today = CivilDay(now.year, now.month, now.day);
  // A quiet relay still holds yesterday's file open: let it go, so that it
  // ages like the others; the next record opens today's.
  if (file_ && fileDay_ != today) {
    if (unflushed_) file_->Flush();
    file_.reset();
    unflushed_ = false;
    fileDay_ = -1;
  }
  std::vector<platform::DirectoryEntry> entries;
  if (files_.ListFiles(folder_, entries) != 0) return;
  const std::vector<DayFile> days = DayFiles(entries);
  uint64_t total = 0;
  for (const DayFile& file : days) total += file.size;
  for (const DayFile& file : days) {
    const bool tooOld = today - file.day >= std::max(1, limits_.days);
    if (!tooOld && (total <= limits_.maxBytes || &file == &days.back())) break;
    if (file.name == fileName_ && file_) continue;
    if (files_.Remove(PathOf(file.name)) == 0) total -= file.size;
  }
}

}  // namespace core
