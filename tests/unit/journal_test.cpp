// The job journal on a real temporary folder: what is written reads back as
// jobs with their last state and bytes, a torn or flipped tail loses only
// what is damaged, the limits prune the oldest day-files, and a failing disk
// turns the journal off without holding up its callers.
#include "core/journal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <tuple>

#include "tests/fakes/fake_durable_files.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace {

using core::JobState;

constexpr uint32_t kDayMs = 86400000;

// (id, port, size, last state) of every job, for comparing two readings.
using JobRow = std::tuple<uint64_t, std::string, uint64_t, JobState>;
std::vector<JobRow> Rows(const core::JournalReader& reader) {
  std::vector<JobRow> rows;
  for (const core::JournalJob& job : reader.jobs()) {
    rows.emplace_back(job.id, job.port, job.size, job.state);
  }
  return rows;
}

class JournalTest : public ::testing::Test {
 protected:
  std::string Folder(const std::string& name = "Journal") const { return dir_.File(name); }

  std::unique_ptr<core::Journal> Open(const core::JournalLimits& limits = {}) {
    auto journal = std::make_unique<core::Journal>(files_, clock_, Folder(), sep_,
                                                   [this](const std::string& line) {
                                                     std::lock_guard<std::mutex> guard(linesLock_);
                                                     lines_.push_back(line);
                                                   });
    journal->Open(limits);
    return journal;
  }
  core::JournalReader Read(const std::string& name = "Journal") {
    core::JournalReader reader(files_, Folder(name), sep_);
    EXPECT_EQ(reader.Load(), 0);
    return reader;
  }
  std::size_t LogLines() {
    std::lock_guard<std::mutex> guard(linesLock_);
    return lines_.size();
  }
  std::string DayFile(const std::string& name) { return Folder() + sep_ + name; }
  // Three jobs of three records each and a confirmation: today's file, and
  // where each record starts in it.
  std::string WriteThreeJobs(std::vector<std::size_t>& starts) {
    auto journal = Open();
    for (const char* text : {"JOB-ONE", "JOB-TWO", "JOB-THREE"}) {
      const uint64_t id = journal->AppendArrival("COM1", text);
      journal->AppendBytes(id, "\x1dV\x01");
      journal->MarkReceived(id);
    }
    journal->AppendState(1, JobState::kConfirmed);
    journal.reset();
    const std::string full = support::ReadFile(DayFile(core::DayFileName(clock_.LocalNow(), 0)));
    core::ParseRecords(full, [&](const core::JournalRecord& r) { starts.push_back(r.offset); });
    return full;
  }

  support::TempDir dir_;
  fakes::FakeClock clock_;
  fakes::FakeDurableFiles files_{*platform::Native().durableFiles};
  const char sep_ = platform::Native().files->PathSeparator();
  std::mutex linesLock_;
  std::vector<std::string> lines_;
};

// The CRC-32 of zlib, whatever the length and alignment, eight bytes a step
// or one: known vectors, then every start and length of a buffer against a
// bit-by-bit reference, taken whole and in two pieces.
TEST(JournalFormat, LocalTimesTurnIntoMillisecondsAndBack) {
  const platform::LocalTime times[] = {
      {1970, 1, 1, 0, 0, 0, 0},       {1969, 12, 31, 23, 59, 59, 999}, {2000, 2, 29, 12, 0, 0, 1},
      {2024, 12, 31, 23, 59, 59, 0},  {2025, 1, 1, 0, 0, 0, 0},        {2100, 3, 1, 7, 8, 9, 10},
      {1900, 2, 28, 18, 30, 45, 500},
  };
  for (const platform::LocalTime& t : times) {
    const platform::LocalTime back = core::LocalTimeOfCivilMs(core::CivilMs(t));
    EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second,
                       back.millisecond),
              std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond))
        << t.year << "-" << t.month << "-" << t.day;
  }
  EXPECT_EQ(core::CivilMs({1970, 1, 2, 0, 0, 0, 0}), 86400000);
}

TEST(JournalFormat, Crc32IsTheStandardOne) {
  std::string ramp;
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 256; ++b) ramp.push_back(static_cast<char>(b));
  }
  ramp += "xyz";
  const struct {
    std::string bytes;
    uint32_t crc;
  } known[] = {
      {"", 0},
      {"a", 0xE8B7BE43u},
      {"abc", 0x352441C2u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string(32, '\0'), 0x190A55ADu},
      {std::string(32, '\xff'), 0xFF6CAB0Bu},
      {ramp, 0x1C505903u},
  };
  for (const auto& k : known) EXPECT_EQ(core::Crc32(k.bytes), k.crc) << k.bytes.size() << " bytes";

  const auto bitwise = [](std::string_view bytes) {
    uint32_t crc = ~0u;
    for (char c : bytes) {
      crc ^= static_cast<uint8_t>(c);
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
  };
  const std::string_view all(ramp);
  for (std::size_t start = 0; start < 8; ++start) {
    for (std::size_t length = 0; length < 40; ++length) {
      const std::string_view part = all.substr(start * 37 % 200, length);
      const uint32_t expected = bitwise(part);
      EXPECT_EQ(core::Crc32(part), expected) << start << "+" << length;
      EXPECT_EQ(core::Crc32(part.substr(length / 3), core::Crc32(part.substr(0, length / 3))),
                expected);
    }
  }
}

// The first job starts before midnight and ends after it, so its records
// span two day-files; the second is too big for one record.
TEST_F(JournalTest, JobsReadBackWithPortSizeStateAndBytes) {
  clock_.SetLocalBase({2026, 12, 8, 23, 59, 59, 0});
  const std::string big(core::kMaxRecordPayload * 2 + 123, '\x1b');
  auto journal = Open();
  const uint64_t a = journal->AppendArrival("COM1", "JOB-ONE");
  ASSERT_TRUE(journal->Sync().get());
  clock_.Advance(1500);
  journal->AppendBytes(a, "\n\x1dV");
  EXPECT_TRUE(journal->MarkReceived(a).get());
  journal->AppendState(a, JobState::kConfirmed);
  const uint64_t b = journal->AppendArrival("COM2", big);
  EXPECT_TRUE(journal->MarkReceived(b).get());
  journal.reset();

  core::JournalReader reader = Read();
  EXPECT_TRUE(reader.damage().empty());
  EXPECT_EQ(Rows(reader), (std::vector<JobRow>{{a, "COM1", 10, JobState::kConfirmed},
                                               {b, "COM2", big.size(), JobState::kReceived}}));
  EXPECT_EQ(reader.jobs()[1].receivedMs - reader.jobs()[0].receivedMs, 1500);
  EXPECT_NE(reader.jobs()[0].chunks.front().file, reader.jobs()[0].chunks.back().file);
  std::string bytes;
  ASSERT_EQ(reader.ReadBytes(reader.jobs()[0], bytes), 0);
  EXPECT_EQ(bytes, "JOB-ONE\n\x1dV");
  ASSERT_EQ(reader.ReadBytes(reader.jobs()[1], bytes), 0);
  EXPECT_EQ(bytes, big);
}

TEST_F(JournalTest, UnconfirmedAreJobsWhoseEndWasSeenAndNotSettled) {
  struct Case {
    std::vector<JobState> states;
    bool unconfirmed;
  };
  const std::vector<Case> cases = {
      {{}, false},  // its end never seen
      {{JobState::kReceived}, true},
      {{JobState::kReceived, JobState::kSent}, true},
      {{JobState::kReceived, JobState::kSent, JobState::kFault}, true},
      {{JobState::kReceived, JobState::kFault, JobState::kPrintedAgain}, true},
      {{JobState::kReceived, JobState::kSent, JobState::kConfirmed}, false},
      {{JobState::kReceived, JobState::kFault, JobState::kPrintedAgain, JobState::kConfirmed},
       false},
      {{JobState::kReceived, JobState::kFault, JobState::kAbandoned}, false},
      {{JobState::kReceived, JobState::kDiscarded}, false},
  };
  auto journal = Open();
  std::vector<uint64_t> expected;
  for (const Case& c : cases) {
    const uint64_t id = journal->AppendArrival("COM1", "x");
    for (JobState state : c.states) {
      if (state == JobState::kReceived) {
        journal->MarkReceived(id);
      } else {
        journal->AppendState(id, state);
      }
    }
    if (c.unconfirmed) expected.push_back(id);
  }
  journal.reset();

  // A restart sees the same, and gives new jobs new ids.
  journal = Open();
  std::vector<uint64_t> unconfirmed;
  for (const core::JournalJob& job : journal->atOpen().Unconfirmed()) unconfirmed.push_back(job.id);
  EXPECT_EQ(unconfirmed, expected);
  EXPECT_EQ(journal->AppendArrival("COM1", "y"), cases.size() + 1);
}

// Three jobs, then a cut at every offset of the last four records: the reader
// keeps each record that is whole, and names the damage once, where the torn
// record starts.
TEST_F(JournalTest, ACutAtAnyOffsetKeepsEveryWholeRecord) {
  std::vector<std::size_t> starts;
  const std::string full = WriteThreeJobs(starts);
  ASSERT_EQ(starts.size(), 10u);
  const std::string name = core::DayFileName(clock_.LocalNow(), 0);

  const std::string cutFolder = Folder("Cut");
  ASSERT_EQ(files_.MakePrivateDirectory(cutFolder), 0);
  for (std::size_t cut = starts[starts.size() - 4]; cut <= full.size(); ++cut) {
    std::size_t boundary = 0;
    for (std::size_t start : starts) {
      if (start <= cut) boundary = start;
    }
    if (cut == full.size()) boundary = cut;
    support::WriteFile(cutFolder + sep_ + name, full.substr(0, boundary));
    const std::vector<JobRow> whole = Rows(Read("Cut"));
    support::WriteFile(cutFolder + sep_ + name, full.substr(0, cut));
    core::JournalReader reader = Read("Cut");

    EXPECT_EQ(Rows(reader), whole) << "cut at " << cut;
    if (cut == boundary) {
      EXPECT_TRUE(reader.damage().empty()) << "cut at " << cut;
    } else {
      ASSERT_EQ(reader.damage().size(), 1u) << "cut at " << cut;
      EXPECT_EQ(reader.damage()[0].offset, boundary) << "cut at " << cut;
    }
  }
}

TEST_F(JournalTest, AFlippedByteEndsTheFileAtItsRecord) {
  std::vector<std::size_t> starts;
  const std::string full = WriteThreeJobs(starts);
  const std::string path = DayFile(core::DayFileName(clock_.LocalNow(), 0));
  const std::size_t second = starts[3];  // the second job's arrival
  const std::size_t end = starts[4];

  struct Case {
    const char* part;
    std::size_t at;
    uint8_t mask;
    const char* reason;
  };
  const Case cases[] = {
      {"length", second, 0x01, "checksum mismatch"},
      {"length's top byte", second + 3, 0xFF, "record length out of bounds"},
      {"type", second + 4, 0x02, "checksum mismatch"},
      {"job id", second + 5, 0x80, "checksum mismatch"},
      {"bytes", end - 5, 0x20, "checksum mismatch"},
      {"checksum", end - 1, 0x01, "checksum mismatch"},
  };
  for (const Case& c : cases) {
    std::string flipped = full;
    flipped[c.at] = static_cast<char>(flipped[c.at] ^ c.mask);
    support::WriteFile(path, flipped);
    core::JournalReader reader = Read();
    ASSERT_EQ(reader.damage().size(), 1u) << c.part;
    EXPECT_EQ(reader.damage()[0].offset, second) << c.part;
    EXPECT_EQ(reader.damage()[0].reason, c.reason) << c.part;
    EXPECT_EQ(Rows(reader), (std::vector<JobRow>{{1, "COM1", 10, JobState::kReceived}})) << c.part;
  }
}

// After a torn tail, a restart logs it once and writes on in a new file of
// the day: records appended behind the damage would never be read.
TEST_F(JournalTest, ATornDayFileIsLoggedOnceAndNotWrittenBehind) {
  auto journal = Open();
  journal->MarkReceived(journal->AppendArrival("COM1", "JOB-ONE"));
  journal.reset();
  const std::string name = core::DayFileName(clock_.LocalNow(), 0);
  support::WriteFile(DayFile(name), support::ReadFile(DayFile(name)) + "\x20\x00\x00");

  journal = Open();
  ASSERT_TRUE(journal->on());
  EXPECT_EQ(LogLines(), 1u);
  EXPECT_NE(lines_[0].find(name), std::string::npos) << lines_[0];
  journal->MarkReceived(journal->AppendArrival("COM1", "JOB-TWO"));
  journal.reset();
  EXPECT_EQ(support::ReadFile(DayFile(core::DayFileName(clock_.LocalNow(), 1))).empty(), false);

  core::JournalReader reader = Read();
  EXPECT_EQ(reader.Unconfirmed().size(), 2u);
}

TEST_F(JournalTest, ALimitPrunesOldestDayFilesFirst) {
  struct Case {
    const char* what;
    core::JournalLimits limits;
    std::vector<const char*> files;  // of 100 bytes each
    std::vector<const char*> kept;
  };
  // Today is 2026-12-08.
  const std::vector<Case> cases = {
      {"age",
       {7, 1u << 30},
       {"2026_11_20.jnl", "2026_12_01.jnl", "2026_12_02.jnl", "2026_12_02_01.jnl", "2026_12_08.jnl",
        "notes.txt", "2026_11_01.log"},
       {"2026_11_01.log", "2026_12_02.jnl", "2026_12_02_01.jnl", "2026_12_08.jnl", "notes.txt"}},
      {"size",
       {30, 250},
       {"2026_12_06.jnl", "2026_12_07.jnl", "2026_12_08.jnl"},
       {"2026_12_07.jnl", "2026_12_08.jnl"}},
      {"size, the newest kept", {30, 50}, {"2026_12_07.jnl", "2026_12_08.jnl"}, {"2026_12_08.jnl"}},
  };
  for (const Case& c : cases) {
    support::TempDir dir;
    const std::string folder = dir.File("Journal");
    ASSERT_EQ(files_.MakePrivateDirectory(folder), 0);
    for (const char* name : c.files)
      support::WriteFile(folder + sep_ + name, std::string(100, 'x'));
    core::Journal(files_, clock_, folder, sep_, [](const std::string&) {}).Open(c.limits);
    std::vector<platform::DirectoryEntry> entries;
    ASSERT_EQ(files_.ListFiles(folder, entries), 0);
    std::vector<std::string> kept;
    for (const auto& entry : entries) kept.push_back(entry.name);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, std::vector<std::string>(c.kept.begin(), c.kept.end())) << c.what;
  }
}

// The hourly prune of a relay that went quiet: the day-file it still holds
// open ages like the others.
TEST_F(JournalTest, AnHourlyPruneLetsGoOfTheOpenFileOnceItIsOld) {
  auto journal = Open({2, 1u << 30});
  ASSERT_TRUE(journal->MarkReceived(journal->AppendArrival("COM1", "JOB-ONE")).get());
  const std::string first = DayFile(core::DayFileName(clock_.LocalNow(), 0));
  clock_.Advance(kDayMs);
  journal->Prune();
  ASSERT_TRUE(journal->Sync().get());
  EXPECT_TRUE(platform::Native().files->FileExists(first));
  clock_.Advance(kDayMs);
  journal->Prune();
  ASSERT_TRUE(journal->Sync().get());
  EXPECT_FALSE(platform::Native().files->FileExists(first));

  journal->MarkReceived(journal->AppendArrival("COM1", "JOB-TWO")).get();
  EXPECT_EQ(Rows(Read()), (std::vector<JobRow>{{2, "COM1", 7, JobState::kReceived}}));
}

TEST_F(JournalTest, AFailingDiskIsLoggedOnceAndNeverStopsTheCaller) {
  struct Case {
    const char* what;
    std::atomic<int> fakes::FakeDurableFiles::*error;
  };
  const Case cases[] = {
      {"disk full", &fakes::FakeDurableFiles::appendError},
      {"read-only", &fakes::FakeDurableFiles::flushError},
      {"no folder", &fakes::FakeDurableFiles::directoryError},
  };
  for (const Case& c : cases) {
    lines_.clear();
    files_.appendError = files_.flushError = files_.directoryError = 0;
    const bool atOpen = c.error == &fakes::FakeDurableFiles::directoryError;
    if (atOpen) files_.*c.error = 30;
    auto journal = Open();
    EXPECT_EQ(journal->on(), !atOpen) << c.what;
    files_.*c.error = 28;
    for (int i = 0; i < 20; ++i) {
      const uint64_t id = journal->AppendArrival("COM1", "JOB");
      journal->AppendState(id, JobState::kSent);
      EXPECT_FALSE(journal->MarkReceived(id).get()) << c.what << ", job " << i;
    }
    EXPECT_FALSE(journal->on()) << c.what;
    EXPECT_EQ(journal->AppendArrival("COM1", "JOB"), 0u) << c.what;
    journal.reset();
    EXPECT_EQ(LogLines(), 1u) << c.what;
  }
}

// The relay's thread never waits on the disk: with the writer held at its
// append, calls still return, and a job's end reports durable only once its
// bytes are written and flushed.
TEST_F(JournalTest, AppendsReturnWhileTheWriterIsHeld) {
  std::mutex gateLock;
  std::condition_variable gate;
  bool open = false;
  files_.beforeAppend = [&] {
    std::unique_lock<std::mutex> lock(gateLock);
    gate.wait(lock, [&] { return open; });
  };
  auto journal = Open();
  std::future<bool> durable;
  for (int i = 0; i < 100; ++i) {
    durable = journal->MarkReceived(journal->AppendArrival("COM1", std::string(8192, 'x')));
  }
  EXPECT_EQ(durable.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  const int flushesBefore = files_.flushes;
  {
    std::lock_guard<std::mutex> lock(gateLock);
    open = true;
  }
  gate.notify_all();
  EXPECT_TRUE(durable.get());
  EXPECT_GT(files_.flushes, flushesBefore);
  journal.reset();
  EXPECT_EQ(Read().jobs().size(), 100u);
}

}  // namespace
