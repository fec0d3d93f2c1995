// The soak's own logic: job frames, splitting a printed record back into
// jobs (with the relay's commands between or inside a job's bytes), and the
// verdict on copies, faults and delays.
#include <gtest/gtest.h>

#include <random>

#include "bench/soak/job.h"
#include "bench/soak/plan.h"
#include "bench/soak/record_split.h"
#include "bench/soak/verdict.h"

namespace soak {
namespace {

const Bytes kAsbOn = {0x1D, 0x61, 0xFF};
const Bytes kProcessIdRequest = {0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 0x46, 0x46, 0x46, 0x46};

Bytes Job(uint32_t number, size_t size, bool raster) {
  std::mt19937_64 rng(number);
  return MakeJob(number, size, raster, rng);
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Insert(Bytes job, size_t at, const Bytes& what) {
  job.insert(job.begin() + static_cast<long>(at), what.begin(), what.end());
  return job;
}

Bytes Slice(const Bytes& b, size_t from, size_t to) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
}

TEST(SoakJob, FramesAreSelfCheckingAtEverySize) {
  for (size_t size : {60u, 500u, 3000u, 15000u}) {
    for (bool raster : {false, true}) {
      Bytes job = Job(42, size, raster);
      SCOPED_TRACE(std::to_string(size) + (raster ? " raster" : ""));
      EXPECT_TRUE(SelfConsistent(job.data(), job.size()));
      EXPECT_EQ(ParseHeaderText(job.data() + 2, job.size() - 2), 42u);
      EXPECT_EQ(ParseTrailer(job.data() + job.size() - 33, 30), 42u);
      EXPECT_GE(job.size() + 40, size);
      job[job.size() / 2] ^= 0x01;
      EXPECT_FALSE(SelfConsistent(job.data(), job.size()));
    }
  }
}

TEST(SoakRecord, SplitsThePrintedRecordIntoCopiesAndFragments) {
  const Bytes one = Job(1, 2000, false);
  const Bytes two = Job(2, 9000, true);  // text, a raster image, text
  const Bytes three = Job(3, 300, false);
  // Where the raster's dots are: well inside the image, past its 8-byte header.
  const size_t inImage = two.size() / 2;
  struct Expect {
    uint32_t job;
    bool intact;
    bool interleaved;
  };
  const struct {
    const char* name;
    Bytes record;
    std::vector<Expect> expected;
  } kCases[] = {
      {"one copy after other bytes", Cat({{0x10, 0x04, 0x02}, one}), {{1, true, false}}},
      {"a reprint: two copies with the confirmation request between",
       Cat({one, kProcessIdRequest, one, kProcessIdRequest}),
       {{1, true, false}, {1, true, false}}},
      {"the relay's status request between two chunks of text",
       Cat({Insert(one, 700, kAsbOn), three}),
       {{1, true, true}, {3, true, false}}},
      {"the relay's status request right after ESC @", Insert(one, 2, kAsbOn), {{1, true, true}}},
      {"the relay's status request inside the image's dots",
       Insert(two, inImage, kAsbOn),
       {{2, false, false}}},
      {"cut short by a power cut, then the reprint",
       Cat({Slice(two, 0, inImage), two}),
       {{2, false, false}, {2, true, false}}},
      {"a job whose start was lost, then the next",
       Cat({Slice(two, inImage, two.size()), three}),
       {{2, false, false}, {3, true, false}}},
      {"a fragment of one job printed inside another",
       Cat({Slice(one, 0, 500), Slice(two, inImage, two.size()), three}),
       {{1, false, false}, {2, false, false}, {3, true, false}}},
  };
  const JobLookup lookup = [&](uint32_t n) -> const Bytes* {
    return n == 1 ? &one : n == 2 ? &two : n == 3 ? &three : nullptr;
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::vector<Piece> pieces = SplitRecord(c.record.data(), c.record.size(), 100, lookup);
    ASSERT_EQ(pieces.size(), c.expected.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_EQ(pieces[i].job, c.expected[i].job) << i;
      EXPECT_EQ(pieces[i].intact, c.expected[i].intact) << i;
      EXPECT_EQ(pieces[i].interleaved, c.expected[i].interleaved) << i;
      EXPECT_GE(pieces[i].begin, 100u);
      EXPECT_LE(pieces[i].end, 100 + c.record.size());
      if (i > 0) {
        EXPECT_GE(pieces[i].begin, pieces[i - 1].begin);
      }
    }
  }
}

TEST(SoakVerdict, CopiesFaultsAndDelaysDecideEachJob) {
  // Job 7 is written at t = 10 s; the record holds 1000 bytes per copy.
  const std::vector<Checkpoint> checkpoints = {{11, 1000}, {20, 2000}, {60, 3000}};
  const Piece first{7, 0, 1000, true, false};
  const Piece second{7, 1000, 2000, true, false};
  const Piece late{7, 2000, 3000, true, false};
  const Piece cut{7, 0, 500, false, false};
  const FaultSpan cover{"cover open", 12, 15, Severity::kFault};
  const FaultSpan nearEnd{"paper near end", 12, 15, Severity::kBenign};
  const FaultSpan earlier{"power off", 5, 9, Severity::kFault};  // ended 1 s before the job
  const FaultSpan longAgo{"power off", 1, 4, Severity::kFault};
  const FaultSpan split{"split answers", 12, 15, Severity::kAnswers};
  const struct {
    const char* name;
    std::vector<Piece> pieces;
    std::vector<FaultSpan> faults;
    std::vector<std::string> failures;  // text each failure starts with
  } kCases[] = {
      {"printed once", {first}, {}, {}},
      {"never printed", {}, {cover}, {"never printed whole"}},
      {"printed twice after a fault", {first, second}, {cover}, {}},
      {"printed twice after near end only",
       {first, second},
       {nearEnd},
       {"printed 2 times without meeting a fault"}},
      {"printed twice after split answers", {first, second}, {split}, {}},
      {"printed twice, a power cut just before", {first, second}, {earlier}, {}},
      {"printed twice, a power cut long before",
       {first, second},
       {longAgo},
       {"printed 2 times without meeting a fault"}},
      {"cut short and reprinted after a fault", {cut, second}, {cover}, {}},
      {"cut short without a fault",
       {cut, second},
       {},
       {"1 partial or corrupted copies without meeting a fault"}},
      {"first whole copy past the bound", {late}, {cover}, {"first whole copy after 50.0 s"}},
  };
  Limits limits;
  limits.delayBound = 30;
  limits.aftermath = 2;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    JobRecord job{7, 1000, 10, 10.01, true};
    const LaneVerdict v = Judge({job}, c.faults, c.pieces, checkpoints, limits);
    ASSERT_EQ(v.jobs.size(), 1u);
    ASSERT_EQ(v.jobs[0].failures.size(), c.failures.size());
    for (size_t i = 0; i < c.failures.size(); ++i)
      EXPECT_EQ(v.jobs[0].failures[i].rfind(c.failures[i], 0), 0u) << v.jobs[0].failures[i];
    EXPECT_EQ(v.failures.size(), c.failures.size());
  }
}

TEST(SoakVerdict, SecondCopiesExcusedOnlyBySplitAnswersAreCounted) {
  const std::vector<Checkpoint> checkpoints = {{11, 1000}, {20, 2000}};
  const std::vector<Piece> twice = {{7, 0, 1000, true, false}, {7, 1000, 2000, true, false}};
  const JobRecord job{7, 1000, 10, 10.01, true};
  const FaultSpan split{"split answers", 12, 15, Severity::kAnswers};
  const FaultSpan cover{"cover open", 12, 15, Severity::kFault};
  EXPECT_EQ(Judge({job}, {split}, twice, checkpoints, Limits{}).duplicatesAfterSplitAnswers, 1);
  EXPECT_EQ(Judge({job}, {split, cover}, twice, checkpoints, Limits{}).duplicatesAfterSplitAnswers,
            0);
}

TEST(SoakPlan, TheSameSeedGivesTheSameSchedule) {
  PlanOptions options;
  Planner a(5, 0, options), b(5, 0, options), other(5, 1, options);
  int differs = 0;
  for (int i = 0; i < 200; ++i) {
    const JobPlan x = a.Next(), y = b.Next(), z = other.Next();
    EXPECT_EQ(x.bytes, y.bytes);
    EXPECT_EQ(x.fault.has_value(), y.fault.has_value());
    if (x.fault && y.fault) {
      EXPECT_EQ(x.fault->kind, y.fault->kind);
      EXPECT_EQ(x.fault->durationMs, y.fault->durationMs);
    }
    EXPECT_EQ(x.gapMs, y.gapMs);
    differs += x.bytes != z.bytes;
  }
  EXPECT_GT(differs, 190);  // the other printer's schedule is its own
}

TEST(SoakPlan, OnlyTheFaultsAllowedForThePrinterAreDrawn) {
  const unsigned powerAndDrop =
      1u << static_cast<int>(FaultKind::kPower) | 1u << static_cast<int>(FaultKind::kDrop);
  struct Case {
    bool tcp;
    unsigned kinds;
    unsigned expected;  // kinds that must all show up, and nothing else
  } cases[] = {
      {true, powerAndDrop, powerAndDrop},
      {false, powerAndDrop, 1u << static_cast<int>(FaultKind::kPower)},
      {false, 1u << static_cast<int>(FaultKind::kDrop), 0},  // drop is TCP only
  };
  for (const Case& c : cases) {
    PlanOptions options;
    options.tcp = c.tcp;
    options.faultRate = 1;
    options.faultKinds = c.kinds;
    Planner planner(9, 0, options);
    unsigned seen = 0;
    for (int i = 0; i < 300; ++i) {
      const JobPlan job = planner.Next();
      if (job.fault) seen |= 1u << static_cast<int>(job.fault->kind);
    }
    EXPECT_EQ(seen, c.expected) << "tcp " << c.tcp << ", kinds " << c.kinds;
  }
  EXPECT_EQ(FaultKindFromOption("paper-out"), FaultKind::kPaperOut);
  EXPECT_FALSE(FaultKindFromOption("paper"));
}

}  // namespace
}  // namespace soak
