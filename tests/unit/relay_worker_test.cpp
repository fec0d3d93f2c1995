// The relay worker on a fake clock: where a job starts and ends, what reaches
// the printer, what is logged, and how a stop request ends it.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "core/format.h"
#include "core/journal_reader.h"
#include "core/recent_receipts.h"
#include "core/texts.h"
#include "platform/platform.h"
#include "tests/fakes/fake_durable_files.h"
#include "tests/fakes/relay_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
const std::string kLogged = "LogFile=YES\nPopup=NO\nReprint=YES\n";

TEST(RelayWorkerJobs, TwoBytesThenSilenceEndAfterTheTimeout) {
  fakes::RelayFixture f(kLogged + "Timeout=1000\nResultTimeout=10000\n");
  f.AddPort("COM5").Arrive(0, {0x1B, 0x40});
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.Written(), (Bytes{0x1B, 0x40}));
  EXPECT_EQ(f.CountLog("[DEBUG] : COM5 Port ---"), 1);
  // Strictly more than the time-out: the job ends 1001 ms after the data.
  EXPECT_EQ(f.CountLog("[DEBUG] : TIMEOUT : COM5 port 2-bytes end  = 1001"), 1) << f.Log();
  EXPECT_EQ(f.link.WaitCount(), 1u);
  EXPECT_EQ(f.link.waitTimeouts[0], 10000u);  // the ResultTimeout default
}

TEST(RelayWorkerJobs, GapsJustUnderTheTimeoutKeepOneJob) {
  fakes::RelayFixture f(kLogged + "Timeout=1000\n");
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1, 2, 3});
  port.Arrive(1000, {4, 5});
  port.Arrive(1000, {6});
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.Written(), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.CountLog("TIMEOUT : COM5 port 6-bytes end  = 1001"), 1) << f.Log();
  EXPECT_EQ(f.link.WaitCount(), 1u);
}

TEST(RelayWorkerJobs, AGapJustOverTheTimeoutStartsANewJob) {
  fakes::RelayFixture f(kLogged + "Timeout=1000\n");
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1, 2});
  port.Arrive(1002, {3});
  f.service->worker().RunPass();
  f.fake.clock.Advance(core::RelayWorker::kPassPauseMs);
  f.service->worker().RunPass();
  EXPECT_EQ(f.CountLog("TIMEOUT : COM5 port 2-bytes end  = 1001"), 1) << f.Log();
  EXPECT_EQ(f.CountLog("TIMEOUT : COM5 port 1-bytes end  = 1001"), 1) << f.Log();
  EXPECT_EQ(f.link.WaitCount(), 2u);
}

TEST(RelayWorkerJobs, ZeroTimeoutEndsAtTheFirstEmptyRead) {
  fakes::RelayFixture f(kLogged + "Timeout=0\n");
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1});
  port.Arrive(5, {2});
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.Written(), Bytes{1});
  EXPECT_EQ(f.CountLog("TIMEOUT : COM5 port 1-bytes end  = 0"), 1) << f.Log();
}

TEST(RelayWorkerJobs, WaitingInsideAJobDoesNotSpin) {
  fakes::RelayFixture f(kLogged + "Timeout=1000\n");
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1});
  f.service->worker().RunPass();
  // A 1 s gap is covered by a handful of waits of at most 100 ms, not by
  // thousands of reads.
  EXPECT_LE(port.reads, 20);
  EXPECT_LE(port.waits, 20);
}

TEST(RelayWorkerJobs, LargeJobArrivesCompleteAndInOrder) {
  fakes::RelayFixture f("Timeout=1000\nReprint=YES\n");
  auto& port = f.AddPort("COM5");
  Bytes image(3 * 1024 * 1024 + 17);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 251);
  for (size_t at = 0; at < image.size(); at += 20000)
    port.Arrive(at == 0 ? 0 : 1,
                Bytes(image.begin() + static_cast<long>(at),
                      image.begin() + static_cast<long>(std::min(at + 20000, image.size()))));
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.Written(), image);
  for (const auto& w : f.link.writes) EXPECT_LE(w.size(), 8192u);
}

struct Classification {
  Bytes first;
  const char* line;  // null: nothing logged
};

class FirstChunkClassification : public ::testing::TestWithParam<Classification> {};

TEST_P(FirstChunkClassification, IsLoggedForFourBytesOrMore) {
  fakes::RelayFixture f(kLogged);
  f.AddPort("COM5").Arrive(0, GetParam().first);
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.Written(), GetParam().first);
  for (const char* line :
       {"GS a command", "DLE EOT 1", "DLE EOT 2", "DLE EOT 3", "DLE EOT 4", "DLE EOT other"}) {
    const bool expected = GetParam().line && std::string(GetParam().line) == line;
    EXPECT_EQ(f.CountLog(std::string("[DEBUG] : ") + line + "\n"), expected ? 1 : 0) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(
    RelayWorker, FirstChunkClassification,
    ::testing::Values(Classification{{0x1D, 0x61, 0xFF, 0x00}, "GS a command"},
                      Classification{{0x10, 0x04, 0x01, 0x00}, "DLE EOT 1"},
                      Classification{{0x10, 0x04, 0x04, 0x1B, 0x40}, "DLE EOT 4"},
                      Classification{{0x10, 0x04, 0x07, 0x00}, "DLE EOT other"},
                      Classification{{0x10, 0x04, 0x01}, nullptr},
                      Classification{{0x1B, 0x40, 0x41, 0x42}, nullptr}));

TEST(RelayWorkerJobs, RepliesTakenDuringTheJobAreLoggedInHex) {
  fakes::RelayFixture f(kLogged);
  f.link.pendingReplies = {0x12, 0xAB, 0x00};
  f.AddPort("COM5").Arrive(0, {0x10, 0x04, 0x02});
  f.service->worker().RunPass();
  EXPECT_EQ(f.CountLog("[DEBUG] : 12AB00\n"), 1) << f.Log();
}

TEST(RelayWorkerJobs, TheJobTellsTheLinkWhereRepliesGo) {
  fakes::RelayFixture f(kLogged);
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1});
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.replyPort.get(), &port);
}

// The replies a printer sent while the application did not read its port
// are dropped by the link; the log says how many, once per pass.
TEST(RelayWorkerJobs, RepliesTheApplicationDidNotTakeAreLoggedAtDebugLevel) {
  fakes::RelayFixture f(kLogged);
  f.AddPort("COM5").Arrive(0, {0x10, 0x04, 0x01});
  f.link.onWait = [&] { f.link.droppedReplies = 40; };
  f.service->worker().RunPass();
  EXPECT_EQ(f.CountLog("[DEBUG] : COM5 port : 40 bytes of printer replies dropped: the application "
                       "does not read its port\n"),
            1)
      << f.Log();
  f.service->worker().RunPass();
  EXPECT_EQ(f.CountLog("bytes of printer replies dropped"), 1);
}

TEST(RelayWorkerJobs, TwoPortsAreServedOneAfterTheOther) {
  fakes::RelayFixture f(kLogged + "Timeout=1000\n");
  auto& first = f.AddPort("COM5");
  auto& second = f.AddPort("COM7");
  first.Arrive(0, {0xA1});
  first.Arrive(900, {0xA2});
  second.Arrive(10, {0xB1});
  f.service->worker().RunPass();
  // The second port's byte waited until the first port's job had ended.
  EXPECT_EQ(f.link.Written(), (Bytes{0xA1, 0xA2, 0xB1}));
  const std::string log = f.Log();
  EXPECT_LT(log.find("TIMEOUT : COM5"), log.find("COM7 Port ---"));
}

TEST(RelayWorkerJobs, AFailedPortOpenNeverStartsAJob) {
  fakes::RelayFixture f(kLogged);
  f.service->ports().count = 1;  // slot 0 holds no port
  f.service->worker().RunPass();
  EXPECT_TRUE(f.link.writes.empty());
}

TEST(RelayWorkerReprint, QueueHoldsTheJobUntilItsEnd) {
  fakes::RelayFixture f("Reprint=YES\nTimeout=100\n");
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1, 2});
  port.Arrive(10, {3});
  size_t queuedAtWait = 0;
  f.link.onWait = [&] { queuedAtWait = f.service->worker().queue().bytes(); };
  f.service->worker().RunPass();
  EXPECT_EQ(queuedAtWait, 3u);
  EXPECT_EQ(f.service->worker().queue().size(), 0u);
  EXPECT_EQ(f.fake.system.debugLines().back(), "Clear queue");
}

// The printer confirms the job, but one of its writes failed: the job ends
// as a failure with the lost bytes logged, not as a printed receipt.
TEST(RelayWorkerReprint, AFailedWriteMakesTheJobAFailureEvenWhenConfirmed) {
  fakes::RelayFixture f("Port=COM3\nLogFile=YES\nPopup=YES\nReprint=YES\nTimeout=1000\n");
  f.link.failWrites = {false, true, false};
  f.link.failureCause = "the connection was lost";
  f.link.waitResults = {0, 0};
  f.prompt.Answer(core::kAnswerOk);
  f.prompt.Answer(core::kAnswerOk);
  f.prompt.Answer(core::kAnswerOk);
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1, 2});
  port.Arrive(10, {3, 4, 5});
  port.Arrive(10, {6});
  f.service->worker().RunPass();
  // With the printer and the reason.
  EXPECT_EQ(f.CountLog("[ERROR] : COM5 port : 3 bytes of the job were not written to the printer "
                       "COM3: the connection was lost\n"),
            1)
      << f.Log();
  ASSERT_FALSE(f.prompt.texts().empty());
  EXPECT_NE(f.prompt.texts()[0].find(core::texts::kJobUnknown.english), std::string::npos);
  // The whole job went out again.
  EXPECT_EQ(f.link.Written(), (Bytes{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6}));
}

TEST(RelayWorkerReprint, OffKeepsNothing) {
  fakes::RelayFixture f("Reprint=NO\nTimeout=100\n");
  f.AddPort("COM5").Arrive(0, {1, 2});
  size_t queuedAtWait = 99;
  f.link.onWait = [&] { queuedAtWait = f.service->worker().queue().size(); };
  f.service->worker().RunPass();
  EXPECT_EQ(queuedAtWait, 0u);
}

TEST(RelayWorkerPerJobLink, RealtimeOffOpensBeforeAndClosesAfterEachJob) {
  fakes::RelayFixture f("Realtime=NO\nPort=TCP/IP\nIP=127.0.0.1\nTimeout=100\n");
  f.AddPort("COM5").Arrive(0, {7});
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.Events(), (std::vector<std::string>{"open", "write 1", "wait 0", "close"}));
  EXPECT_EQ(f.link.opens[0], "127.0.0.1/9100");
}

TEST(RelayWorkerPerJobLink, UnreachablePrinterIsRetriedWithAMessage) {
  fakes::RelayFixture f("Realtime=NO\nPort=COM3\nBaudrate=19200\nTimeout=100\n");
  f.link.openResults = {-1, -1, 0};
  f.AddPort("COM5").Arrive(0, {7});
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.opens, (std::vector<std::string>{"COM3/19200", "COM3/19200", "COM3/19200"}));
  ASSERT_EQ(f.prompt.shown().size(), 2u);
  EXPECT_EQ(f.prompt.shown()[0].text,
            "COM3 port : A printer connection failure has occurred. Please, check the printer.");
  EXPECT_EQ(f.link.Written(), Bytes{7});
}

TEST(RelayWorkerPerJobLink, StopEndsTheRetriesOfAnUnreachablePrinter) {
  fakes::RelayFixture f("Realtime=NO\nPort=COM3\nTimeout=100\nLogFile=YES\n");
  for (int i = 0; i < 1000; ++i) f.link.openResults.push_back(-1);
  f.AddPort("COM5").Arrive(0, {7});
  f.prompt.onShow = [&](const fakes::Shown&, size_t index) {
    if (index == 3) f.service->stopFlag() = 1;
  };
  f.service->worker().RunPass();
  EXPECT_EQ(f.prompt.shown().size(), 4u);
  EXPECT_TRUE(f.link.writes.empty());
  EXPECT_EQ(f.CountLog("COM5 port : job stopped before the printer could be opened"), 1);
}

TEST(RelayWorkerStop, StopDuringAJobSkipsTheResultWaitAndEndsTheThread) {
  fakes::RelayFixture f("Popup=YES\nTimeout=1000\n");
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1});
  port.Arrive(200, {2});
  f.link.SetStatuses({1});  // a cover-open printer would otherwise raise pop-ups
  port.onRead = [&](int read) {
    if (read == 3) f.service->stopFlag() = 1;  // inside the job, before its end
  };
  f.service->worker().Start();
  f.service->worker().WaitEnded();
  EXPECT_EQ(f.link.WaitCount(), 0u);
  EXPECT_TRUE(f.prompt.shown().empty());
  EXPECT_TRUE(f.service->worker().workerEnded().IsSet());
}

// A job cut short by a stop request leaves its chunks behind; the next job
// must start from an empty queue, or its reprint would print them too.
TEST(RelayWorkerStop, AStoppedJobLeavesNothingForTheNextJobsReprint) {
  fakes::RelayFixture f("Popup=NO\nReprint=YES\nTimeout=100\n");
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {'A', '1'});
  port.onRead = [&](int read) {
    if (read == 2) f.service->stopFlag() = 1;  // inside the job
  };
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.WaitCount(), 0u);

  port.onRead = nullptr;
  f.service->stopFlag() = 0;
  port.Arrive(1000, {'B'});
  f.fake.clock.Advance(1000);
  f.link.waitResults = {links::kNoResponse};
  f.service->worker().RunPass();
  EXPECT_EQ(f.link.Written(), (Bytes{'A', '1', 'B', 'B'}));
}

// A second start while the worker runs (an installation started while the
// first one shows its notice) must not wait for that worker, which only a
// stop request ends: it is refused.
TEST(RelayWorkerStop, AStartWhileTheWorkerRunsIsRefused) {
  fakes::RelayFixture f("Timeout=100\nLogFile=YES\n");
  f.AddPort("COM5");
  f.service->worker().Start();
  auto second = std::async(std::launch::async, [&] { f.service->worker().Start(); });
  const bool returned = second.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  EXPECT_TRUE(returned) << "the second start waited for the running worker";
  EXPECT_FALSE(f.service->worker().workerEnded().IsSet());
  f.service->stopFlag() = 1;
  second.wait();
  f.service->worker().WaitEnded();
  if (returned) {
    EXPECT_EQ(f.CountLog("[ERROR] : the relay worker is still running"), 1) << f.Log();
  }
}

// A stop request (closing the program, a port refresh) abandons the job in
// flight, whether its data is still coming or its confirmation is awaited,
// and says so in the log.
TEST(RelayWorkerStop, TheJobInFlightIsAbandonedAndLogged) {
  for (bool duringTheWait : {false, true}) {
    SCOPED_TRACE(duringTheWait);
    fakes::RelayFixture f("Popup=NO\nReprint=YES\nTimeout=100\nLogFile=YES\n");
    auto& port = f.AddPort("COM5");
    port.Arrive(0, {'A', 'B', 'C'});
    if (duringTheWait) {
      f.link.onWait = [&] { f.service->stopFlag() = 1; };
    } else {
      port.onRead = [&](int read) {
        if (read == 2) f.service->stopFlag() = 1;
      };
    }
    f.service->worker().RunPass();
    EXPECT_EQ(f.CountLog("[ERROR] : COM5 port : job of 3 bytes abandoned: the relay stopped "
                         "before the printer confirmed it\n"),
              1)
        << f.Log();
  }
  // A confirmed job is not.
  fakes::RelayFixture f("Timeout=100\nLogFile=YES\n");
  f.AddPort("COM5").Arrive(0, {'A'});
  f.service->worker().RunPass();
  EXPECT_EQ(f.CountLog("abandoned"), 0);
}

TEST(RelayWorkerStop, AStoppedWorkerCanBeStartedAgain) {
  fakes::RelayFixture f("Timeout=100\n");
  auto& port = f.AddPort("COM5");
  f.service->stopFlag() = 1;
  f.service->worker().Start();
  f.service->worker().WaitEnded();
  EXPECT_TRUE(f.link.writes.empty());

  port.StartScriptAt(f.fake.clock.NowMs());
  port.Arrive(0, {9});
  f.service->stopFlag() = 0;
  f.service->worker().Start();
  while (f.link.WaitCount() == 0) std::this_thread::yield();
  f.service->stopFlag() = 1;
  f.service->worker().WaitEnded();
  EXPECT_EQ(f.link.Written(), Bytes{9});
}

}  // namespace

namespace {

// A pop-up nobody answers: it stays up until the caller's stop request
// dismisses it, as the Win32 status dialog does.
class UnansweredPrompt : public core::Prompt {
 public:
  int Show(const std::string&, int, const std::atomic<int>* dismiss) override {
    shown = true;
    while (!(dismiss && dismiss->load())) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return core::kAnswerCancel;
  }
  std::atomic<bool> shown{false};
};

TEST(RelayWorkerStop, AStopWhileThePopUpIsUpEndsTheWorker) {
  fakes::RelayFixture f("Popup=YES\nTimeout=100\n");
  UnansweredPrompt prompt;
  f.fake.platform.durableFiles = platform::Native().durableFiles;
  core::RelayService service(f.fake.platform, f.view, prompt, f.link);
  service.LoadSettings();
  service.OpenJournal();
  auto port = std::make_shared<fakes::FakeRelayPort>(f.fake.clock);
  port->Arrive(0, {1});
  service.ports().handles[0] = port;
  service.ports().count = 1;
  f.link.waitResults = {1};
  f.link.SetStatuses({1});

  service.worker().Start();
  while (!prompt.shown) std::this_thread::yield();
  const auto start = std::chrono::steady_clock::now();
  service.worker().Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(service.worker().workerEnded().IsSet());
  EXPECT_TRUE(f.link.writes.size() == 1);  // no replay after the dismissed pop-up
  // The journal keeps the job as unconfirmed: the next start offers it again.
  service.journal()->Sync().get();
  core::JournalReader reader(*platform::Native().durableFiles, service.journalFolder(),
                             f.fake.files.PathSeparator());
  ASSERT_EQ(reader.Load(), 0);
  EXPECT_EQ(reader.Unconfirmed().size(), 1u);
}

}  // namespace

namespace {

// The pause between passes, on the fake clock: it ends when a job's first
// bytes arrive, and otherwise keeps the passes and the idle status watch at
// one every 100 ms, whatever state the ports are in.
TEST(RelayWorkerPause, AJobStartsWhenItsFirstBytesArriveNotAtTheNextPass) {
  fakes::RelayFixture f(kLogged + "Timeout=100\n");
  f.AddPort("COM5").Arrive(237, {0x1B, 0x40});
  f.link.onWait = [&] { f.service->stopFlag() = 1; };
  f.service->worker().Start();
  f.service->worker().WaitEnded();
  EXPECT_EQ(f.CountLog("09:30:00:237 : [DEBUG] : COM5 Port ---"), 1) << f.Log();
  EXPECT_EQ(f.link.Written(), (Bytes{0x1B, 0x40}));
}

struct PortState {
  const char* name;
  std::function<void(fakes::FakeRelayPort&)> set;
  int maxPasses;  // over one second
};

class PassesWithoutAJob : public ::testing::TestWithParam<PortState> {};

TEST_P(PassesWithoutAJob, RunNoMoreOftenThanTheInputAllows) {
  fakes::RelayFixture f(kLogged + "Timeout=100\n");
  auto& port = f.AddPort("COM5");
  GetParam().set(port);
  port.onRead = [&](int) {
    if (f.fake.clock.NowMs() >= 1000) f.service->stopFlag() = 1;
  };
  f.service->worker().Start();
  f.service->worker().WaitEnded();
  EXPECT_LE(port.reads, GetParam().maxPasses);
  // The idle watch still runs after every pass but the stopped one.
  EXPECT_EQ(f.link.statusCalls, port.reads - 1);
  EXPECT_TRUE(f.link.writes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    RelayWorkerPause, PassesWithoutAJob,
    ::testing::Values(PortState{"Idle", [](fakes::FakeRelayPort&) {}, 11},
                      PortState{"InError", [](fakes::FakeRelayPort& p) { p.failing = true; }, 11},
                      // Every other pause is slept out: at most two passes per 100 ms.
                      PortState{"ClaimingInputItNeverGives",
                                [](fakes::FakeRelayPort& p) { p.claimsInput = true; }, 22}),
    [](const ::testing::TestParamInfo<PortState>& info) { return std::string(info.param.name); });

TEST(RelayWorkerPause, InsideAJobAPortClaimingInputItNeverGivesDoesNotSpin) {
  fakes::RelayFixture f(kLogged + "Timeout=1000\n");
  auto& port = f.AddPort("COM5");
  port.Arrive(0, {1});
  port.onRead = [&](int read) {
    if (read == 2) port.claimsInput = true;
  };
  f.service->worker().RunPass();
  EXPECT_EQ(f.CountLog("TIMEOUT : COM5 port 1-bytes end"), 1) << f.Log();
  // Every other wait of the 1 s gap is slept out: about 20 reads, not thousands.
  EXPECT_LE(port.reads, 25);
}

}  // namespace

// Restart recovery: two unconfirmed jobs in the journal, the older 30 minutes
// old and the younger 5, and one confirmed; what the worker prints again when
// it starts, and what the journal says afterwards.
struct RecoveryRow {
  const char* name;
  const char* settings;
  int answer;  // to the pop-up, when one is shown
  std::vector<std::string> printed;
  int popUps;
  std::vector<core::JobState> after;  // old, young
};

class RelayWorkerRecovery : public ::testing::TestWithParam<RecoveryRow> {};

TEST_P(RelayWorkerRecovery, FollowsTheSettings) {
  const RecoveryRow& row = GetParam();
  fakes::RelayFixture f("LogFile=YES\nTimeout=100\n" + std::string(row.settings));
  f.fake.platform.durableFiles = platform::Native().durableFiles;
  f.AddPort("COM6");
  f.service->OpenJournal();
  core::Journal& journal = *f.service->journal();
  const auto job = [&](const std::string& text, core::JobState state) {
    const uint64_t id = journal.AppendArrival("COM6", text);
    journal.MarkReceived(id).get();
    journal.AppendState(id, state);
    return id;
  };
  const uint64_t old = job("OLD", core::JobState::kSent);
  f.fake.clock.Advance(20 * 60000);
  job("DONE", core::JobState::kConfirmed);
  f.fake.clock.Advance(5 * 60000);
  const uint64_t young = job("YOUNG", core::JobState::kFault);
  f.fake.clock.Advance(5 * 60000);
  f.prompt.Answer(row.answer);

  f.service->worker().Recover();
  const Bytes bytes = f.link.Written();
  const std::string written(bytes.begin(), bytes.end());
  std::string expected;
  for (const std::string& text : row.printed) expected += text;
  EXPECT_EQ(written, expected) << f.Log();
  EXPECT_EQ(static_cast<int>(f.prompt.shown().size()), row.popUps);
  if (row.popUps == 1) {
    EXPECT_NE(f.prompt.shown()[0].text.find("2 receipt(s)"), std::string::npos);
    EXPECT_NE(f.prompt.shown()[0].text.find("30 minute(s)"), std::string::npos);
  }
  EXPECT_EQ(f.CountLog("is printed again"), static_cast<int>(row.printed.size())) << f.Log();
  journal.Sync().get();
  core::JournalReader reader(*platform::Native().durableFiles, f.service->journalFolder(),
                             f.fake.files.PathSeparator());
  ASSERT_EQ(reader.Load(), 0);
  EXPECT_EQ(reader.Find(old)->state, row.after[0]);
  EXPECT_EQ(reader.Find(young)->state, row.after[1]);
}

using S = core::JobState;
INSTANTIATE_TEST_SUITE_P(Relay, RelayWorkerRecovery,
                         ::testing::Values(RecoveryRow{"QuietOnlyTheYoungOne",
                                                       "Popup=NO\nReprint=YES\n",
                                                       core::kAnswerOk,
                                                       {"YOUNG"},
                                                       0,
                                                       {S::kSent, S::kConfirmed}},
                                           RecoveryRow{"QuietWithAnHourBoth",
                                                       "Popup=NO\nReprint=YES\nRecoverMinutes=60\n",
                                                       core::kAnswerOk,
                                                       {"OLD", "YOUNG"},
                                                       0,
                                                       {S::kConfirmed, S::kConfirmed}},
                                           RecoveryRow{"ReprintOffNothing",
                                                       "Popup=YES\nReprint=NO\n",
                                                       core::kAnswerOk,
                                                       {},
                                                       0,
                                                       {S::kSent, S::kFault}},
                                           RecoveryRow{"AskedAndOk",
                                                       "Popup=YES\nReprint=YES\n",
                                                       core::kAnswerOk,
                                                       {"OLD", "YOUNG"},
                                                       1,
                                                       {S::kConfirmed, S::kConfirmed}},
                                           RecoveryRow{"AskedAndCancelled",
                                                       "Popup=YES\nReprint=YES\n",
                                                       core::kAnswerCancel,
                                                       {},
                                                       1,
                                                       {S::kDiscarded, S::kDiscarded}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The recent receipts: the list read back from the journal while the relay
// writes it, and a reprint asked for from another thread.
namespace {

struct JournalRig {
  explicit JournalRig(const std::string& settings)
      : f("LogFile=YES\nTimeout=100\nReprint=YES\n" + settings),
        files(*platform::Native().durableFiles) {
    f.fake.platform.durableFiles = &files;
    f.AddPort("COM6");
    f.service->OpenJournal();
  }
  uint64_t Job(const std::string& bytes, core::JobState state = core::JobState::kConfirmed) {
    core::Journal& journal = *f.service->journal();
    const uint64_t id = journal.AppendArrival("COM6", bytes);
    journal.MarkReceived(id).get();
    journal.AppendState(id, state);
    return id;
  }
  std::vector<core::JobState> States(uint64_t id) {
    std::vector<core::JobState> states;
    f.service->journal()->Sync().get();
    core::JournalReader reader(files, f.service->journalFolder(), f.fake.files.PathSeparator());
    if (reader.Load() == 0 && reader.Find(id)) states.push_back(reader.Find(id)->state);
    return states;
  }
  // A day-file beside the journal's own (2026_12_08), as a torn write or a bad disk leaves it.
  void WriteDayFile(const std::string& name, const std::string& bytes) {
    support::WriteFile(f.service->journalFolder() + f.fake.files.PathSeparator() + name, bytes);
  }

  fakes::RelayFixture f;
  fakes::FakeDurableFiles files;
};

struct ListRow {
  const char* name;
  const char* settings;
  std::function<void(JournalRig&)> after;  // done to the journal of 103 jobs and one arriving
  size_t listed;
  uint64_t newest;
  std::function<std::string(core::RelayService&)> problem;
};

class RecentList : public ::testing::TestWithParam<ListRow> {};

TEST_P(RecentList, IsNewestFirstAndSaysWhyItMayBeShort) {
  const ListRow& row = GetParam();
  JournalRig rig(row.settings);
  if (core::Journal* journal = rig.f.service->journal()) {
    for (int i = 1; i <= 103; ++i) rig.Job("job " + std::to_string(i));
    journal->AppendArrival("COM6", "still arriving");
    journal->Sync().get();
  }
  row.after(rig);
  const core::RecentList list = core::ListRecentJobs(*rig.f.service);
  ASSERT_EQ(list.jobs.size(), row.listed);
  for (size_t i = 0; i < list.jobs.size(); ++i) EXPECT_EQ(list.jobs[i].id, row.newest - i);
  if (!list.jobs.empty()) {
    EXPECT_EQ(list.jobs[0].size, 7u);
    EXPECT_EQ(list.jobs[0].port, "COM6");
    EXPECT_EQ(list.jobs[0].state, core::JobState::kConfirmed);
  }
  EXPECT_EQ(list.problem, row.problem(*rig.f.service));
}

std::string Said(core::RelayService& service, const core::Text& text, int number = 0) {
  return core::FormatText(service.Say(text).c_str(), number);
}

INSTANTIATE_TEST_SUITE_P(
    RelayWorker, RecentList,
    ::testing::Values(
        ListRow{"TheLast100", "", [](JournalRig&) {}, 100, 103,
                [](core::RelayService&) { return std::string(); }},
        ListRow{
            "ATornTailIsTheRecordBeingWritten", "",
            [](JournalRig& rig) { rig.WriteDayFile("2026_12_09.jnl", std::string("\x10\x00", 2)); },
            100, 103, [](core::RelayService&) { return std::string(); }},
        ListRow{
            "DamageIsNamed", "",
            // Not the newest file, and a length no record can have.
            [](JournalRig& rig) { rig.WriteDayFile("2026_12_07.jnl", std::string(9, '\xFF')); },
            100, 103,
            [](core::RelayService& s) { return Said(s, core::texts::kRecentJournalDamaged, 1); }},
        ListRow{"JournalOff", "Journal=NO\n", [](JournalRig&) {}, 0, 0,
                [](core::RelayService& s) { return Said(s, core::texts::kRecentJournalOff); }},
        ListRow{"DiskFull", "",
                [](JournalRig& rig) {
                  rig.files.appendError = 28;  // ENOSPC
                  rig.f.service->journal()->AppendArrival("COM6", "lost");
                  rig.f.service->journal()->Sync().get();
                },
                100, 103,
                [](core::RelayService& s) { return Said(s, core::texts::kRecentJournalFailed); }},
        ListRow{"FolderUnreadable", "", [](JournalRig& rig) { rig.files.listError = 13; }, 0, 0,
                [](core::RelayService& s) {
                  return Said(s, core::texts::kRecentJournalUnreadable, 13);
                }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecentReprint, PrintsTheSameBytesOnceAndRecordsTheConfirmation) {
  JournalRig rig("Popup=NO\n");
  rig.Job("first");
  const uint64_t second = rig.Job("second \x1B\x40 bytes", core::JobState::kFault);
  EXPECT_EQ(core::RequestReprint(*rig.f.service, 999), core::ReprintResult::kNoSuchJob);
  EXPECT_EQ(core::RequestReprint(*rig.f.service, second), core::ReprintResult::kQueued);
  EXPECT_EQ(core::RequestReprint(*rig.f.service, second), core::ReprintResult::kQueued);
  EXPECT_EQ(rig.f.service->worker().reprintsQueued(), 1u);
  rig.f.service->worker().ServeReprints();
  const Bytes written = rig.f.link.Written();
  EXPECT_EQ(std::string(written.begin(), written.end()), "second \x1B\x40 bytes");
  EXPECT_EQ(rig.States(second), std::vector{core::JobState::kConfirmed});
  EXPECT_EQ(rig.f.CountLog("Reprint : COM6 job 2 of 15 bytes is printed again at the user's "
                           "request"),
            1)
      << rig.f.Log();
}

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// With the printer out of paper the reprint waits, as held jobs do, and is
// printed and confirmed once the paper is back; a stop drops what still waits.
TEST(RecentReprint, WaitsForAFaultedPrinterThenIsConfirmed) {
  JournalRig rig("Popup=NO\n");
  const uint64_t id = rig.Job("receipt", core::JobState::kDiscarded);
  rig.f.link.SetStatuses({links::kPaperOut, links::kPaperOut, links::kPaperOut, links::kPrinterOk});
  int statusAtWrite = 0;
  rig.f.link.onWait = [&] { statusAtWrite = rig.f.link.statusCalls.load(); };
  ASSERT_EQ(core::RequestReprint(*rig.f.service, id), core::ReprintResult::kQueued);
  rig.f.service->worker().Start();
  const auto held = [&](int times) { return rig.f.CountLog("jobs are held:") == times; };
  EXPECT_TRUE(WaitFor([&] { return rig.States(id) == std::vector{core::JobState::kConfirmed}; }));
  EXPECT_TRUE(held(1)) << rig.f.Log();
  EXPECT_GE(statusAtWrite, 4);
  EXPECT_EQ(rig.f.link.Written(), (Bytes{'r', 'e', 'c', 'e', 'i', 'p', 't'}));

  rig.f.link.SetStatuses({links::kPaperOut});
  ASSERT_TRUE(WaitFor([&] { return held(2); }));
  EXPECT_EQ(core::RequestReprint(*rig.f.service, id), core::ReprintResult::kQueued);
  rig.f.service->stopFlag() = 1;
  EXPECT_EQ(core::RequestReprint(*rig.f.service, id + 1), core::ReprintResult::kStopping);
  rig.f.service->worker().WaitEnded();
  EXPECT_EQ(rig.f.link.writes.size(), 1u);
  EXPECT_EQ(rig.f.CountLog("1 requested reprint(s) dropped"), 1) << rig.f.Log();
}

}  // namespace
