// The status check after a job and between jobs, with a scripted printer and
// a scripted user: the messages in order, the reprint, the queue.
#include "core/status_check.h"

#include <gtest/gtest.h>

#include "core/texts.h"
#include "tests/fakes/relay_fixture.h"

namespace {

using Texts = std::vector<std::string>;

std::string P(const char* text) { return std::string("COM3 port : ") + text; }

class JobEnd : public ::testing::Test {
 protected:
  explicit JobEnd(const std::string& settings = "Port=COM3\nPopup=YES\nReprint=YES\n")
      : f(settings), check(*f.service, f.link, queue) {
    queue.Append(reinterpret_cast<const uint8_t*>("JOB"), 3);
  }
  fakes::RelayFixture f;
  core::ReprintQueue queue;
  core::StatusCheck check;
};

TEST_F(JobEnd, ConfirmedJobShowsNothingAndClearsTheQueue) {
  f.link.waitResults = {0};
  check.JobEnd();
  EXPECT_TRUE(f.prompt.shown().empty());
  EXPECT_EQ(queue.size(), 0u);
  EXPECT_EQ(f.link.WaitCount(), 1u);
}

TEST_F(JobEnd, CoverOpenIsShownUntilClosedThenReprintedOnOk) {
  f.link.waitResults = {1, 0};
  f.link.SetStatuses({1, 1, 0});
  check.JobEnd();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kJobCoverOpen.english), P(core::texts::kJobCoverOpen.english),
                   P(core::texts::kJobCoverOpen.english), P(core::texts::kJobNoError.english),
                   P(core::texts::kJobReprint.english)}));
  const auto shown = f.prompt.shown();
  EXPECT_EQ(shown[3].kind, core::kStatusNormal);
  EXPECT_EQ(shown[4].kind, core::kStatusReprint);
  EXPECT_EQ(f.link.Written(), (std::vector<uint8_t>{'J', 'O', 'B'}));
  EXPECT_EQ(f.link.WaitCount(), 2u);
  EXPECT_EQ(queue.size(), 0u);
}

TEST_F(JobEnd, CancelDropsTheJob) {
  f.link.waitResults = {4};
  f.link.SetStatuses({0});
  f.prompt.Answer(core::kAnswerOk);      // "out of paper"
  f.prompt.Answer(core::kAnswerOk);      // "no error"
  f.prompt.Answer(core::kAnswerCancel);  // reprint?
  check.JobEnd();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kJobPaperOut.english), P(core::texts::kJobNoError.english),
                   P(core::texts::kJobReprint.english)}));
  EXPECT_TRUE(f.link.writes.empty());
  EXPECT_EQ(f.link.WaitCount(), 1u);
  EXPECT_EQ(queue.size(), 0u);
}

TEST_F(JobEnd, FaultAfterTheReprintStartsTheDialogueAgain) {
  f.link.waitResults = {8, 1, 0};
  f.link.SetStatuses({0});
  check.JobEnd();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kJobPowerOff.english), P(core::texts::kJobNoError.english),
                   P(core::texts::kJobReprint.english), P(core::texts::kJobCoverOpen.english),
                   P(core::texts::kJobNoError.english), P(core::texts::kJobReprint.english)}));
  EXPECT_EQ(f.link.writes.size(), 2u);
}

TEST_F(JobEnd, NearEndAfterTheFaultIsAWarningAndStillReprints) {
  f.link.waitResults = {16, 0};
  f.link.SetStatuses({2});
  check.JobEnd();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kJobNoResponse.english), P(core::texts::kJobNearEnd.english),
                   P(core::texts::kJobReprint.english)}));
  EXPECT_EQ(f.prompt.shown()[1].kind, core::kStatusError);
}

TEST_F(JobEnd, AFaultThatChangesIsFollowed) {
  f.link.waitResults = {1};
  // b sees the cover closed, but c finds the paper out: w = 4, back to a.
  f.link.SetStatuses({0, 4, 0});
  check.JobEnd();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kJobCoverOpen.english), P(core::texts::kJobPaperOut.english),
                   P(core::texts::kJobNoError.english), P(core::texts::kJobReprint.english)}));
}

TEST_F(JobEnd, UnknownCodeHasItsOwnMessage) {
  f.link.waitResults = {32};
  f.link.SetStatuses({0});
  f.prompt.Answer(core::kAnswerOk);
  f.prompt.Answer(core::kAnswerOk);
  f.prompt.Answer(core::kAnswerCancel);
  check.JobEnd();
  EXPECT_EQ(f.prompt.texts()[0], P(core::texts::kJobUnknown.english));
}

// Part of the job never reached the printer, yet it confirmed what it got:
// that is no printed job. The user hears of it and may print it again; a
// replay that fails as well is not taken for success either.
TEST_F(JobEnd, AnIncompleteJobIsNeverReportedAsPrinted) {
  f.link.waitResults = {0, 0, 0};
  f.link.failWrites = {true};            // the replay's write
  f.prompt.Answer(core::kAnswerOk);      // unknown error
  f.prompt.Answer(core::kAnswerOk);      // no error
  f.prompt.Answer(core::kAnswerOk);      // reprint? yes
  f.prompt.Answer(core::kAnswerOk);      // unknown error (the replay failed too)
  f.prompt.Answer(core::kAnswerOk);      // no error
  f.prompt.Answer(core::kAnswerCancel);  // reprint? no
  check.JobEnd(true);
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kJobUnknown.english), P(core::texts::kJobNoError.english),
                   P(core::texts::kJobReprint.english), P(core::texts::kJobUnknown.english),
                   P(core::texts::kJobNoError.english), P(core::texts::kJobReprint.english)}));
  EXPECT_EQ(f.link.writes.size(), 1u);
}

TEST_F(JobEnd, AnIncompleteJobWithAFaultReportsTheFault) {
  f.link.waitResults = {1, 0};
  f.link.SetStatuses({0});
  check.JobEnd(true);
  EXPECT_EQ(f.prompt.texts()[0], P(core::texts::kJobCoverOpen.english));
  EXPECT_EQ(f.link.WaitCount(), 2u);  // reprinted and confirmed
}

TEST_F(JobEnd, StopDuringTheDialogueEndsIt) {
  f.link.waitResults = {1};
  f.link.SetStatuses({1});
  f.prompt.onShow = [&](const fakes::Shown&, size_t index) {
    if (index == 2) f.service->stopFlag() = 1;
  };
  check.JobEnd();
  EXPECT_EQ(f.prompt.shown().size(), 3u);
  EXPECT_TRUE(f.link.writes.empty());
  EXPECT_EQ(queue.size(), 0u);  // the queue is still cleared
}

TEST_F(JobEnd, KoreanCodePageShowsTheKoreanTexts) {
  f.fake.system.codePage = 949;
  f.service->LoadCodePage();
  core::StatusCheck korean(*f.service, f.link, queue);
  const size_t before = f.prompt.shown().size();
  f.link.waitResults = {4};
  f.link.SetStatuses({0});
  f.prompt.Answer(core::kAnswerOk);
  f.prompt.Answer(core::kAnswerOk);
  f.prompt.Answer(core::kAnswerCancel);
  korean.JobEnd();
  const auto texts = f.prompt.texts();
  ASSERT_EQ(texts.size(), before + 3);
  EXPECT_EQ(texts[before], "COM3 포트 : [인쇄중] 프린터 용지가 없습니다.");
  EXPECT_EQ(texts[before + 1], "COM3 포트 : [인쇄중] 프린터가 정상입니다.");
  EXPECT_EQ(texts[before + 2], "COM3 포트 : [인쇄중] 재인쇄를 시작합니다.");
}

class JobEndReprintOff : public JobEnd {
 protected:
  JobEndReprintOff() : JobEnd("Port=COM3\nPopup=YES\nReprint=NO\n") {}
};

TEST_F(JobEndReprintOff, NoQuestionIsAsked) {
  f.link.waitResults = {1};
  f.link.SetStatuses({0});
  check.JobEnd();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kJobCoverOpen.english), P(core::texts::kJobNoError.english)}));
  EXPECT_TRUE(f.link.writes.empty());
}

class JobEndQuiet : public JobEnd {
 protected:
  JobEndQuiet() : JobEnd("Port=COM3\nPopup=NO\nReprint=YES\n") {}
};

TEST_F(JobEndQuiet, PaperOutIsWaitedOutThenTheJobIsReplayed) {
  f.link.waitResults = {4, 0};
  f.link.SetStatuses({4, 4, 4, 0});
  const uint32_t start = f.fake.clock.NowMs();
  check.JobEnd();
  EXPECT_TRUE(f.prompt.shown().empty());
  EXPECT_EQ(f.fake.clock.NowMs() - start, 1500u);  // three polls 500 ms apart
  EXPECT_EQ(f.link.Written(), (std::vector<uint8_t>{'J', 'O', 'B'}));
  EXPECT_EQ(f.link.WaitCount(), 2u);
  EXPECT_EQ(queue.size(), 0u);
}

TEST_F(JobEndQuiet, AnIncompleteJobIsReplayed) {
  f.link.waitResults = {0, 0};
  check.JobEnd(true);
  EXPECT_TRUE(f.prompt.shown().empty());
  EXPECT_EQ(f.link.Written(), (std::vector<uint8_t>{'J', 'O', 'B'}));
}

// A reprint into a printer that went off again is tried once more when it is
// back; a printer that never answers gets one reprint, as before; flags that
// disagree with the status end the reprints after a few.
TEST_F(JobEndQuiet, AReprintThatMetAFaultIsTriedAgainWhenThePrinterIsBack) {
  f.link.waitResults = {8, 32, 0};
  f.link.SetStatuses({8, 0, 8, 0});
  check.JobEnd();
  EXPECT_EQ(f.link.Written(), (std::vector<uint8_t>{'J', 'O', 'B', 'J', 'O', 'B'}));
  EXPECT_EQ(f.link.WaitCount(), 3u);
  EXPECT_EQ(queue.size(), 0u);
}

TEST_F(JobEndQuiet, ReprintsEndWithoutAnAnswerOrAfterAFew) {
  f.link.waitResults = {16, 16, 16};
  check.JobEnd();
  EXPECT_EQ(f.link.WaitCount(), 2u);

  queue.Append(reinterpret_cast<const uint8_t*>("JOB"), 3);
  f.link.waitResults = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  f.link.SetStatuses({0});
  check.JobEnd();
  EXPECT_EQ(f.link.WaitCount(), 2u + 1u + core::StatusCheck::kQuietReprints);
}

TEST_F(JobEndQuiet, StopEndsThePolling) {
  f.link.waitResults = {1};
  f.link.SetStatuses({1});
  core::StopFlag& stop = f.service->stopFlag();
  std::thread stopper([&] {
    while (f.link.statusCalls < 50) std::this_thread::yield();
    stop = 1;
  });
  check.JobEnd();
  stopper.join();
  EXPECT_TRUE(f.link.writes.empty());
}

class IdleWatch : public JobEnd {};

TEST_F(IdleWatch, FinePrinterShowsNothing) {
  check.IdleWatch();
  EXPECT_TRUE(f.prompt.shown().empty());
}

TEST_F(IdleWatch, NearEndShowsItsWarningTwice) {
  f.link.SetStatuses({2});
  check.IdleWatch();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kIdleNearEnd.english), P(core::texts::kIdleNearEnd.english)}));
}

TEST_F(IdleWatch, CoverOpenUntilClosed) {
  f.link.SetStatuses({1, 1, 1, 1, 0});
  check.IdleWatch();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kIdleCoverOpen.english), P(core::texts::kIdleCoverOpen.english),
                   P(core::texts::kIdleNoError.english)}));
  EXPECT_EQ(f.prompt.shown().back().kind, core::kStatusNormal);
}

TEST_F(IdleWatch, PowerOffThenUnknown) {
  f.link.SetStatuses({8, 8, 8, 64, 64, 0});
  check.IdleWatch();
  EXPECT_EQ(f.prompt.texts(),
            (Texts{P(core::texts::kIdlePowerOff.english), P(core::texts::kIdleUnknown.english),
                   P(core::texts::kIdleNoError.english)}));
}

class IdleWatchQuiet : public JobEndQuiet {};

TEST_F(IdleWatchQuiet, WritesDebugTextsUntilTheFaultClears) {
  f.link.SetStatuses({1, 1, 2});
  check.IdleWatch();
  EXPECT_TRUE(f.prompt.shown().empty());
  EXPECT_EQ(f.fake.system.debugLines(),
            (Texts{"스탠바이 : Start 장애 발생.", "스탠바이 : Start 장애 발생.",
                   "스탠바이 : Start 장애 발생.", "스탠바이 : 장애 클리어."}));
}

}  // namespace

namespace {

class HeldJobs : public JobEnd {
 protected:
  HeldJobs() : JobEnd("Port=COM3\nPopup=NO\nReprint=YES\nLogFile=YES\n") {}
};

// With pop-ups off the relay waits for a fault to clear without a word, and
// the jobs wait in their ports meanwhile: the log says so once, with the
// status that holds them, and once when they are free again.
TEST_F(HeldJobs, AFaultAfterAJobIsLoggedWhenItHoldsTheJobsAndWhenItClears) {
  f.link.waitResults = {1, 0};
  f.link.SetStatuses({1, 1, 4, 4, 0});
  check.JobEnd();
  EXPECT_EQ(f.CountLog("[ERROR] : COM3 port : jobs are held: the printer reports cover open (1)\n"),
            1)
      << f.Log();
  EXPECT_EQ(f.CountLog("jobs are held"), 1);
  EXPECT_EQ(f.CountLog("[ERROR] : COM3 port : jobs are no longer held: the printer reports no "
                       "error (0)\n"),
            1)
      << f.Log();
}

TEST_F(HeldJobs, AFaultBetweenJobsIsLoggedTheSameWay) {
  f.link.SetStatuses({8, 8, 8, 2});
  check.IdleWatch();
  EXPECT_EQ(f.CountLog("[ERROR] : COM3 port : jobs are held: the printer reports power off (8)\n"),
            1)
      << f.Log();
  EXPECT_EQ(f.CountLog("[ERROR] : COM3 port : jobs are no longer held: the printer reports "
                       "paper near end (2)\n"),
            1)
      << f.Log();
  // A printer that is fine, or only near its paper's end, holds nothing.
  f.link.SetStatuses({2});
  check.IdleWatch();
  f.link.SetStatuses({0});
  check.IdleWatch();
  EXPECT_EQ(f.CountLog("held"), 2);
}

}  // namespace
