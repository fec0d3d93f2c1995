// The whole relay on Linux: an application writes to its end of the virtual
// pair, the real portrelay forwards to the printer simulator over TCP, the
// printer's answers come back, each job is confirmed, and a fault during a
// job ends in a reprint.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "core/texts.h"
#include "tests/support/child_process.h"
#include "tests/support/private_cups.h"
#include "tests/support/relay_rig.h"
#include "tests/support/tcp_proxy.h"

namespace {

using Bytes = std::vector<uint8_t>;
using support::CountBytes;
using support::FindBytes;

// Raster images of 1 MB each (GS v 0, 128 bytes wide, 8192 rows) the way a
// POS program sends a logo: the printer takes the payload as image data.
Bytes RasterJob(int images = 1) {
  Bytes job{0x1B, 0x40};
  std::mt19937 random(42);
  for (int image = 0; image < images; ++image) {
    job.insert(job.end(), {0x1D, 0x76, 0x30, 0x00, 128, 0, 0x00, 0x20});
    for (int i = 0; i < 128 * 8192; ++i) job.push_back(static_cast<uint8_t>(random()));
  }
  job.push_back(0x0A);
  return job;
}

class Relay : public ::testing::Test {
 protected:
  void Start(const std::string& settings, const std::vector<std::string>& printerArgs = {}) {
    ASSERT_TRUE(rig.StartPrinter(printerArgs));
    ASSERT_TRUE(rig.StartRelay(settings));
    ASSERT_TRUE(rig.OpenApplicationPort()) << rig.relay.Output();
  }
  support::RelayRig rig;
};

TEST_F(Relay, AJobEndsAfterTheReceiveTimeoutAndIsConfirmed) {
  Start("Timeout=1000\nResultTimeout=5000\n");
  ASSERT_TRUE(rig.app.Write(Bytes{0x1B, 0x40}));
  ASSERT_TRUE(rig.WaitForLog("port 2-bytes end", 8000)) << rig.Log();
  std::smatch m;
  const std::string log = rig.Log();
  ASSERT_TRUE(std::regex_search(log, m, std::regex("TIMEOUT : COM6 port 2-bytes end  = (\\d+)")));
  EXPECT_GT(std::stoi(m[1]), 1000);
  // The printer got the job, then the request to confirm it, and answered.
  ASSERT_TRUE(rig.printer.events().Next("cmd GS_(H 46464646", std::chrono::seconds(5)))
      << rig.printer.events().Dump();
  ASSERT_TRUE(rig.printer.events().Next("tx 7 37224646464600", std::chrono::seconds(5)));
  // Right after the job: the request for status back (the job may have reset
  // the printer), then the confirmation request.
  const Bytes recorded = rig.Recorded();
  const size_t job = FindBytes(recorded, {0x1B, 0x40});
  ASSERT_NE(job, std::string::npos);
  EXPECT_EQ(FindBytes(recorded, {0x1D, 0x61, 0xFF, 0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 0x46,
                                 0x46, 0x46, 0x46}),
            job + 2);
}

TEST_F(Relay, AMegabyteJobArrivesByteIdentical) {
  Start("Timeout=1000\nResultTimeout=5000\n");
  const Bytes job = RasterJob();
  std::thread writer([&] { rig.app.Write(job); });
  writer.join();
  ASSERT_TRUE(rig.WaitForLog("-bytes end", 30000)) << rig.Log();
  EXPECT_NE(rig.Log().find("TIMEOUT : COM6 port " + std::to_string(job.size()) + "-bytes end"),
            std::string::npos)
      << rig.Log();
  const Bytes recorded = rig.Recorded();
  EXPECT_EQ(CountBytes(recorded, job), 1);
}

// The application writes far faster than the printer prints: the printer's
// full buffer holds back the relay, the relay holds back the application,
// and the job still arrives whole, once, and is confirmed.
TEST_F(Relay, ATenMegabyteImageForASlowPrinterArrivesWholeAndOnce) {
  Start("Timeout=1000\nResultTimeout=5000\n", {"--print-rate", "4000000", "--buffer", "65536"});
  const Bytes job = RasterJob(10);
  ASSERT_TRUE(rig.app.Write(job, 60000)) << rig.Log();
  ASSERT_TRUE(rig.WaitForLog("-bytes end", 30000)) << rig.Log();
  EXPECT_NE(rig.Log().find("TIMEOUT : COM6 port " + std::to_string(job.size()) + "-bytes end"),
            std::string::npos)
      << rig.Log();
  ASSERT_TRUE(rig.printer.events().Next("tx 7 3722", std::chrono::seconds(10)));
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 1);
}

// The cover opens in the middle of a long job and the printer's full buffer
// holds the relay's writes until some of them fail; the cover is closed again
// before the job ends, so the printer confirms what it got. The job is still
// reported as failed and printed again whole.
TEST_F(Relay, AJobWithWritesThePrinterRefusedIsNotReportedAsPrinted) {
  Start("Timeout=1000\nResultTimeout=5000\nPopup=YES\nReprint=YES\n",
        {"--print-rate", "4000000", "--buffer", "65536"});
  // Plain text: whatever part of it is lost, the printer still finds the
  // confirmation request after it and answers.
  Bytes job;
  for (int line = 0; job.size() < 10'000'000; ++line) {
    const std::string text = "LINE " + std::to_string(line) + " ......................... 1.00\n";
    job.insert(job.end(), text.begin(), text.end());
  }
  std::thread writer([&] { rig.app.Write(job, 60000); });
  ASSERT_TRUE(rig.printer.events().Next("rx ", std::chrono::seconds(5)));
  rig.printer.Send("cover open");
  std::this_thread::sleep_for(std::chrono::seconds(5));
  rig.printer.Send("cover close");
  writer.join();
  ASSERT_TRUE(rig.relay.WaitForOutput(core::texts::kJobReprint.english, 30000))
      << rig.relay.Output();
  EXPECT_NE(rig.Log().find("bytes of the job were not written to the printer"), std::string::npos)
      << rig.Log();
  EXPECT_NE(rig.relay.Output().find(core::texts::kJobUnknown.english), std::string::npos)
      << rig.relay.Output();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (CountBytes(rig.Recorded(), job) < 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 1);
}

TEST_F(Relay, StatusQueriesAreAnsweredOnlyWhileTheApplicationHoldsItsPort) {
  Start("Timeout=300\nResultTimeout=3000\n");
  ASSERT_TRUE(rig.app.Write(Bytes{0x10, 0x04, 0x02}));
  EXPECT_EQ(rig.app.Read(1, 3000), Bytes{0x12});  // printer on-line, cover closed

  // Ask, and hang up before the answer can come back: the answer must not be
  // left waiting for the next application that opens the port.
  ASSERT_TRUE(rig.app.Write(Bytes{0x10, 0x04, 0x04}));
  rig.app.Close();
  ASSERT_TRUE(rig.printer.events().Next("cmd DLE_EOT 4", std::chrono::seconds(5)));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  ASSERT_TRUE(rig.OpenApplicationPort());
  EXPECT_TRUE(rig.app.Read(1, 500).empty());
  // The answer that was forwarded is in the log, taken at the next job's start.
  EXPECT_NE(rig.Log().find("[DEBUG] : 12\n"), std::string::npos) << rig.Log();
}

struct Fault {
  const char* name;
  const char* start;
  const char* clear;
  const char* message;
};

class FaultDuringAJob : public Relay, public ::testing::WithParamInterface<Fault> {};

// The fault comes while the job is being printed; the relay reports it after
// the job, waits until it clears, and (reprint on, OK) sends the job again.
TEST_P(FaultDuringAJob, IsReportedAndTheJobPrintedAgain) {
  const Fault& fault = GetParam();
  Start("Timeout=300\nResultTimeout=3000\nPopup=YES\nReprint=YES\n");
  // Like a POS program: initialise, switch on automatic status, then print.
  Bytes job{0x1B, 0x40, 0x1D, 0x61, 0xFF};
  const std::string text = "TABLE 7  2x COFFEE  4.80\n";
  job.insert(job.end(), text.begin(), text.end());
  job.insert(job.end(), {0x1D, 0x56, 0x41, 0x03});
  ASSERT_TRUE(rig.app.Write(job));
  ASSERT_TRUE(rig.printer.events().Next("cmd GS_a 255", std::chrono::seconds(5)));
  rig.printer.Send(fault.start);

  const std::string reported = "TCP/IP(" + rig.ip + ") port : " + fault.message;
  ASSERT_TRUE(rig.relay.WaitForOutput(reported, 15000)) << rig.relay.Output();
  rig.printer.Send(fault.clear);
  ASSERT_TRUE(rig.relay.WaitForOutput(core::texts::kJobReprint.english, 15000))
      << rig.relay.Output() << rig.printer.events().Dump();

  // The messages came in this order.
  const std::string out = rig.relay.Output();
  const size_t first = out.find(reported);
  const size_t fine = out.find(core::texts::kJobNoError.english);
  const size_t again = out.find(core::texts::kJobReprint.english);
  EXPECT_LT(first, fine) << out;
  EXPECT_LT(fine, again) << out;

  // A second, identical copy of the job reaches the printer and is confirmed.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (CountBytes(rig.Recorded(), job) < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 2);
  EXPECT_TRUE(rig.printer.events().Next("tx 7 3722", std::chrono::seconds(8)))
      << rig.printer.events().Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Relay, FaultDuringAJob,
    ::testing::Values(
        Fault{"CoverOpen", "cover open", "cover close", core::texts::kJobCoverOpen.english},
        Fault{"PaperOut", "paper out", "paper ok", core::texts::kJobPaperOut.english},
        Fault{"Silent", "silent on", "silent off", core::texts::kJobNoResponse.english},
        // The printer drops the connection; the link reaches it again.
        Fault{"PowerOff", "power off", "power on", core::texts::kJobPowerOff.english}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// portrelay's commands ask the relay that runs from the same folder: the
// recent receipts newest first, and one of them printed again byte for byte
// and confirmed like any job.
TEST_F(Relay, TheCommandsListTheRecentReceiptsAndPrintOneAgain) {
  Start("Timeout=200\nResultTimeout=3000\n");
  const auto command = [&](const std::vector<std::string>& args) {
    support::ChildProcess child;
    std::vector<std::string> argv{rig.dir.File("portrelay")};
    argv.insert(argv.end(), args.begin(), args.end());
    EXPECT_TRUE(child.Start(argv));
    const int status = child.WaitExit(15000).value_or(-1);
    return std::make_pair(status, child.Output());
  };
  std::vector<std::string> receipts;
  for (int i = 0; i < 3; ++i) {
    receipts.push_back("RECENT RECEIPT " + std::to_string(i) + "\n");
    ASSERT_TRUE(rig.app.Write(receipts.back()));
    ASSERT_TRUE(rig.printer.events().Next("tx 7 3722", std::chrono::seconds(5)))
        << rig.printer.events().Dump();
  }
  // id, date, time, bytes, state, port
  const std::regex row("(\\d+) +\\S+ \\S+ +(\\d+)  ([a-z ]+?) +COM6");
  const auto listed = [&](const std::string& out) {
    std::vector<std::pair<std::string, std::string>> rows;  // id, state
    for (std::sregex_iterator m(out.begin(), out.end(), row), end; m != end; ++m) {
      EXPECT_EQ((*m)[2], "17") << out;
      rows.emplace_back((*m)[1], (*m)[3]);
    }
    return rows;
  };
  const auto [status, out] = command({"--recent"});
  EXPECT_EQ(status, 0) << out;
  const auto rows = listed(out);
  ASSERT_EQ(rows.size(), 3u) << out;
  EXPECT_GT(std::stoull(rows[0].first), std::stoull(rows[1].first));
  EXPECT_GT(std::stoull(rows[1].first), std::stoull(rows[2].first));
  const std::string second = rows[1].first;

  const auto [asked, answer] = command({"--reprint", second});
  EXPECT_EQ(asked, 0) << answer;
  EXPECT_NE(answer.find("job " + second + ": " + core::texts::kReprintQueued.english),
            std::string::npos)
      << answer;
  ASSERT_TRUE(rig.printer.events().Next("tx 7 3722", std::chrono::seconds(10)))
      << rig.printer.events().Dump() << rig.Log();
  EXPECT_TRUE(
      rig.WaitForLog("Reprint : COM6 job " + second + " of 17 bytes is printed again", 1000))
      << rig.Log();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(CountBytes(rig.Recorded(), Bytes(receipts[i].begin(), receipts[i].end())),
              i == 1 ? 2 : 1)
        << i;
  }
  // Confirmed in the journal: the list shows it once the state is on the disk.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::string state;
  while (state != "confirmed" && std::chrono::steady_clock::now() < deadline) {
    for (const auto& [id, shown] : listed(command({"--recent"}).second))
      if (id == second) state = shown;
  }
  EXPECT_EQ(state, "confirmed");

  const auto [refused, none] = command({"--reprint", "999999"});
  EXPECT_EQ(refused, 1);
  EXPECT_NE(none.find(core::texts::kReprintNoSuchJob.english), std::string::npos) << none;
}

TEST_F(Relay, AnApplicationThatClosesMidJobLosesNothing) {
  Start("Timeout=1500\nResultTimeout=3000\n");
  const std::string first = "FIRST HALF OF THE RECEIPT\n", second = "SECOND HALF\n";
  ASSERT_TRUE(rig.app.Write(first));
  rig.app.Close();
  ASSERT_TRUE(rig.OpenApplicationPort());
  ASSERT_TRUE(rig.app.Write(second));
  ASSERT_TRUE(rig.WaitForLog("-bytes end", 10000));
  EXPECT_NE(rig.Log().find("port " + std::to_string(first.size() + second.size()) + "-bytes end"),
            std::string::npos)
      << rig.Log();
  const std::string both = first + second;
  EXPECT_EQ(CountBytes(rig.Recorded(), Bytes(both.begin(), both.end())), 1);
}

TEST_F(Relay, OpeningAndClosingWithoutWritingIsNoJob) {
  Start("Timeout=200\n");
  rig.app.Close();
  ASSERT_TRUE(rig.OpenApplicationPort());
  rig.app.Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_EQ(rig.Log().find("Port ---"), std::string::npos) << rig.Log();
}

// A point-of-sale program that sends its receipt one byte every 50 ms for
// 10 s: each byte comes well within the receive time-out, so however the
// relay waits between its reads, that is one job.
TEST_F(Relay, ASlowSenderIsStillOneJob) {
  Start("Timeout=1000\nResultTimeout=5000\n");
  Bytes job;
  for (int i = 0; i < 200; ++i) job.push_back(static_cast<uint8_t>('A' + i % 26));
  for (uint8_t byte : job) {
    ASSERT_TRUE(rig.app.Write(Bytes{byte}));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the sender's pace
  }
  ASSERT_TRUE(rig.WaitForLog("-bytes end", 8000)) << rig.Log();
  const std::string log = rig.Log();
  EXPECT_NE(log.find("TIMEOUT : COM6 port 200-bytes end"), std::string::npos) << log;
  EXPECT_EQ(log.find("Port ---"), log.rfind("Port ---")) << log;
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 1);
}

// Jobs sent one after another, each once the last has been confirmed: each
// is a job of its own with exactly its own bytes.
TEST_F(Relay, JobsFromIdleKeepTheirBoundaries) {
  Start("Timeout=200\nResultTimeout=3000\n");
  auto count = [](const std::string& log, const std::string& text) {
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(rig.app.Write("RECEIPT " + std::to_string(i) + "\n"));
    // The job's confirmation comes after its end.
    ASSERT_TRUE(rig.printer.events().Next("cmd GS_(H", std::chrono::seconds(5)))
        << rig.printer.events().Dump();
  }
  ASSERT_TRUE(rig.WaitForLog("TIMEOUT", 5000));
  const std::string log = rig.Log();
  EXPECT_EQ(count(log, "COM6 Port ---"), 5) << log;
  EXPECT_EQ(count(log, "TIMEOUT : COM6 port 10-bytes end"), 5) << log;
  for (int i = 0; i < 5; ++i) {
    const std::string receipt = "RECEIPT " + std::to_string(i) + "\n";
    EXPECT_EQ(CountBytes(rig.Recorded(), Bytes(receipt.begin(), receipt.end())), 1);
  }
}

// With its application port closed, the relay end reports a hang-up on every
// poll. The relay waits for the port to be opened again instead of looking
// in a loop, and relays the next job as before.
TEST_F(Relay, AClosedApplicationPortIsWaitedOnWithoutSpinning) {
  Start("Timeout=200\n");
  rig.app.Close();
  // A relay spinning on the hang-up takes nearly all of the three seconds;
  // one that waits takes a few milliseconds.
  const double before = support::ProcessorSeconds(rig.relay.pid());
  std::this_thread::sleep_for(std::chrono::seconds(3));  // the time measured
  EXPECT_LT(support::ProcessorSeconds(rig.relay.pid()) - before, 0.3);
  ASSERT_TRUE(rig.OpenApplicationPort());
  ASSERT_TRUE(rig.app.Write("AFTER\n"));
  ASSERT_TRUE(rig.WaitForLog("TIMEOUT : COM6 port 6-bytes end", 5000)) << rig.Log();
}

// The printer's events without the status queries and their answers.
std::string Unusual(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines)
    if (line.rfind("cmd DLE_EOT", 0) != 0 && line.rfind("tx 1 ", 0) != 0) out += line + "\n";
  return out;
}

// CPU time (user and system) the process has used so far.
std::chrono::milliseconds CpuTime(int pid) {
  std::string stat = support::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i == 14 || i == 15) ticks += std::stol(field);
  return std::chrono::milliseconds(ticks * 1000 / sysconf(_SC_CLK_TCK));
}

// A print-only program: it keeps its port open, never reads, and asks for
// the printer's status blindly. Its port fills with the
// printer's answers within the first six jobs; from then on the relay drops
// the answers instead of waiting for room, so every job is still confirmed
// (printed once, never reprinted) and the drops are logged. When the program
// then closes its port the relay does not spin, and it still ends on SIGTERM.
TEST_F(Relay, AnApplicationThatNeverReadsHoldsUpNeitherJobsNorTheEnd) {
  rig.relayEnvironment = {{"PORTRELAY_DEBUG", "1"}};
  Start("Timeout=100\nResultTimeout=2000\nPopup=NO\nReprint=YES\n");
  constexpr int kJobs = 10;
  std::vector<Bytes> jobs;
  size_t cleared = 0;
  for (int k = 0; k < kJobs; ++k) {
    const std::string text = "UNREAD PORT JOB " + std::to_string(100 + k) + "\n";
    Bytes job{0x1B, 0x40};
    job.insert(job.end(), text.begin(), text.end());
    // 4000 status answers (all the printer queues at once) in each of the
    // first six jobs, a few in the others.
    for (int q = 0; q < (k < 6 ? 4000 : 5); ++q) job.insert(job.end(), {0x10, 0x04, 0x01});
    job.insert(job.end(), {0x1D, 0x56, 0x41, 0x03});
    jobs.push_back(job);
    ASSERT_TRUE(rig.app.Write(job)) << k;
    // Each job ends with the queue cleared: once, when it is confirmed.
    const auto line = rig.relay.WaitForLine("debug: Clear queue", cleared, 20000);
    ASSERT_TRUE(line.has_value()) << k << rig.relay.Output() << rig.Log()
                                  << Unusual(rig.printer.events().Lines());
    cleared = *line + 1;
  }
  for (int k = 0; k < kJobs; ++k) EXPECT_EQ(CountBytes(rig.Recorded(), jobs[k]), 1) << k;
  EXPECT_NE(rig.Log().find("bytes of printer replies dropped: the application does not read"),
            std::string::npos)
      << rig.Log();

  // The printer keeps answering while the program closes its port.
  Bytes last(200, 0x00);
  last.insert(last.end(), {0x10, 0x04, 0x01});
  ASSERT_TRUE(rig.app.Write(last));
  rig.app.Close();
  const auto before = CpuTime(rig.relay.pid());
  const auto wallStart = std::chrono::steady_clock::now();
  ASSERT_TRUE(rig.relay.WaitForLine("debug: Clear queue", cleared, 20000).has_value());
  const auto wall = std::chrono::steady_clock::now() - wallStart;
  const auto used = CpuTime(rig.relay.pid()) - before;
  EXPECT_LT(used * 4, wall) << used.count() << " ms of CPU in "
                            << std::chrono::duration_cast<std::chrono::milliseconds>(wall).count()
                            << " ms";

  rig.relay.Signal(SIGTERM);
  const auto status = rig.relay.WaitExit(3000);
  ASSERT_TRUE(status.has_value()) << "portrelay did not end on SIGTERM";
  EXPECT_EQ(*status, 0);
}

// Almost every POS program starts its receipts with ESC @, which switches
// the printer's Automatic Status Back off. The relay must still see a cover
// opened afterwards (pop-ups off, reprint on).
class AfterAPrinterReset : public Relay {
 protected:
  void SetUp() override {
    rig.relayEnvironment = {{"PORTRELAY_DEBUG", "1"}};
    Start("Timeout=200\nResultTimeout=8000\nPopup=NO\nReprint=YES\n");
    ASSERT_TRUE(rig.app.Write(Receipt("FIRST RECEIPT")));
    ASSERT_TRUE(JobEnded()) << rig.relay.Output();
  }
  static Bytes Receipt(const std::string& text) {
    Bytes job{0x1B, 0x40};
    job.insert(job.end(), text.begin(), text.end());
    job.insert(job.end(), {0x0A, 0x1D, 0x56, 0x41, 0x03});
    return job;
  }
  // The next job's end: its queue is cleared once it is done with.
  bool JobEnded() {
    const auto line = rig.relay.WaitForLine("debug: Clear queue", cleared, 30000);
    if (line) cleared = *line + 1;
    return line.has_value();
  }
  size_t cleared = 0;
};

// The cover opens while the next job is being confirmed: the relay sees it,
// waits, and once the cover is closed prints the job again: two copies.
TEST_F(AfterAPrinterReset, ACoverOpenedDuringTheConfirmationGivesTwoCopiesOnceItCloses) {
  const Bytes job = Receipt("SECOND RECEIPT");
  rig.printer.events().Skip();
  ASSERT_TRUE(rig.app.Write(job));
  // The confirmation begins: the relay asks for the status back again (the
  // job's ESC @ switched it off) and the printer answers with its status.
  ASSERT_TRUE(rig.printer.events().Next("cmd GS_a 255", std::chrono::seconds(10)))
      << rig.printer.events().Dump();
  ASSERT_TRUE(rig.printer.events().Next("tx 4 1000000f", std::chrono::seconds(5)));
  ASSERT_EQ(rig.printer.Send("cover open"), 0);
  // The printer tells the relay (its status back is on again), and the
  // relay holds the jobs until the cover is closed.
  EXPECT_TRUE(rig.WaitForLog("jobs are held: the printer reports cover open", 5000)) << rig.Log();
  ASSERT_EQ(rig.printer.Send("cover close"), 0);
  ASSERT_TRUE(JobEnded()) << rig.relay.Output();
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 2);
}

// A job written while the cover is open waits in the port (the relay holds
// the jobs while the printer is not usable) and is printed once it closes.
TEST_F(AfterAPrinterReset, AJobWrittenWhileTheCoverIsOpenPrintsOnceAfterItCloses) {
  ASSERT_EQ(rig.printer.Send("cover open"), 0);
  const std::string watching = "debug: 스탠바이 : Start";
  auto line = rig.relay.WaitForLine(watching, 0, 5000);
  ASSERT_TRUE(line.has_value()) << "the relay did not see the cover open\n" << rig.relay.Output();
  const Bytes job = Receipt("HELD RECEIPT");
  ASSERT_TRUE(rig.app.Write(job));
  // Three more turns of the relay's watch (500 ms each): the job stays put.
  for (int turn = 0; turn < 3 && line; ++turn)
    line = rig.relay.WaitForLine(watching, *line + 1, 5000);
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 0) << rig.printer.events().Dump();
  ASSERT_EQ(rig.printer.Send("cover close"), 0);
  ASSERT_TRUE(JobEnded()) << rig.relay.Output();
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 1);
}

// The journal's own case: JOB-ONE printed (set-up), the printer switched off,
// JOB-TWO written and held, the relay killed; the printer on and the relay
// started again: JOB-TWO prints, once and whole.
TEST_F(AfterAPrinterReset, AHeldJobOutlivesAKillAndPrintsAfterTheRestart) {
  ASSERT_EQ(rig.printer.Send("power off"), 0);
  ASSERT_TRUE(rig.WaitForLog("jobs are held", 10000)) << rig.Log();
  const Bytes job = Receipt("JOB-TWO");
  ASSERT_TRUE(rig.app.Write(job));
  ASSERT_TRUE(rig.WaitForLog("job of " + std::to_string(job.size()) + " bytes held", 5000))
      << rig.Log();
  rig.relay.Signal(SIGKILL);
  ASSERT_TRUE(rig.relay.WaitExit(5000).has_value());
  ASSERT_EQ(rig.printer.Send("power on"), 0);
  ASSERT_TRUE(rig.StartRelay("Timeout=200\nResultTimeout=8000\nPopup=NO\nReprint=YES\n"));
  ASSERT_TRUE(rig.WaitForLog("Recovery : COM6 job", 15000)) << rig.Log();
  cleared = 0;
  ASSERT_TRUE(JobEnded()) << rig.relay.Output();
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 1) << rig.Log();
}

// While jobs are held, a status request that arrives alone goes to the
// printer at once and its answer comes back (cover open: 0x16 for DLE EOT 2,
// 0x12 + 0x04 for n = 2); the held job still waits for the cover.
TEST_F(AfterAPrinterReset, AStatusRequestWhileJobsAreHeldIsAnsweredAtOnce) {
  ASSERT_EQ(rig.printer.Send("cover open"), 0);
  ASSERT_TRUE(rig.WaitForLog("jobs are held", 10000)) << rig.Log();
  const Bytes job = Receipt("HELD BEHIND A STATUS REQUEST");
  ASSERT_TRUE(rig.app.Write(job));
  ASSERT_TRUE(rig.WaitForLog("bytes held", 5000)) << rig.Log();
  rig.app.Read(64, 300);  // the status blocks the printer sent before
  rig.printer.events().Skip();
  ASSERT_TRUE(rig.app.Write(Bytes{0x10, 0x04, 0x02}));
  ASSERT_TRUE(rig.printer.events().Next("tx 1 16", std::chrono::seconds(3)))
      << rig.printer.events().Dump();
  EXPECT_EQ(rig.app.Read(1, 3000), Bytes{0x16}) << rig.Log();
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 0);
  std::this_thread::sleep_for(std::chrono::seconds(1));  // the link's reader done with it
  ASSERT_EQ(rig.printer.Send("cover close"), 0);
  ASSERT_TRUE(JobEnded()) << rig.Log() << rig.printer.events().Dump();
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 1);
}

// Network printers drop idle port-9100 connections. The relay connects again
// at once: with pop-ups on it shows no "power off" for it, and the next job
// prints once.
TEST(RelayOverTcp, APrinterThatDropsAnIdleConnectionIsNotReportedOff) {
  support::RelayRig rig;
  ASSERT_TRUE(rig.StartPrinter());
  support::TcpProxy proxy;
  std::random_device rd;
  const std::string printerIp = rig.ip;
  for (int attempt = 0; attempt < 20 && rig.ip == printerIp; ++attempt) {
    const std::string ip = "127.0.0." + std::to_string(2 + rd() % 250);
    if (ip != printerIp && proxy.Start(ip, 9100, printerIp, 9100)) rig.ip = ip;
  }
  ASSERT_NE(rig.ip, printerIp);
  ASSERT_TRUE(rig.StartRelay("Timeout=200\nResultTimeout=5000\nPopup=YES\nReprint=YES\n"));
  ASSERT_TRUE(rig.OpenApplicationPort());
  ASSERT_TRUE(rig.WaitForLog("COM6 open success", 10000)) << rig.Log();
  ASSERT_TRUE(proxy.WaitAccepted(1, 5000));

  proxy.DropClients();
  ASSERT_TRUE(proxy.WaitAccepted(2, 5000)) << "the relay did not connect again";
  const std::string text = "AFTER THE IDLE DROP\n";
  const Bytes job(text.begin(), text.end());
  rig.printer.events().Skip();
  ASSERT_TRUE(rig.app.Write(job));
  ASSERT_TRUE(rig.printer.events().Next("tx 7 37224646464600", std::chrono::seconds(10)))
      << rig.printer.events().Dump();
  EXPECT_EQ(rig.relay.Output().find("power is off"), std::string::npos) << rig.relay.Output();
  EXPECT_EQ(CountBytes(rig.Recorded(), job), 1) << rig.printer.events().Dump() << rig.Log();
}

// Closing while a job waits for its confirmation (the printer has gone
// silent) ends the program within 2 s, and the job is logged as abandoned.
TEST_F(Relay, SigtermDuringAConfirmationEndsTheRelayWithinTwoSeconds) {
  Start("Timeout=200\nResultTimeout=20000\nPopup=NO\nReprint=YES\n");
  ASSERT_EQ(rig.printer.Send("silent on"), 0);
  const std::string text = "NEVER CONFIRMED\n";
  ASSERT_TRUE(rig.app.Write(Bytes(text.begin(), text.end())));
  ASSERT_TRUE(rig.printer.events().Next("cmd GS_(H", std::chrono::seconds(10)));
  const auto start = std::chrono::steady_clock::now();
  rig.relay.Signal(SIGTERM);
  const auto status = rig.relay.WaitExit(15000);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_LT(took, std::chrono::seconds(2))
      << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
  EXPECT_NE(rig.Log().find("[ERROR] : COM6 port : job of 16 bytes abandoned"), std::string::npos)
      << rig.Log();
}

// A printer behind a driver (the spooler link, a raw CUPS queue on Linux)
// with real-time checking on, as the settings dialog keeps it: each job is
// printed when it ends, not when the program ends (and killing the program
// loses nothing that was confirmed).
TEST(RelayThroughTheSpooler, EachJobIsPrintedWhenItEnds) {
  support::RelayRig rig;
  ASSERT_TRUE(rig.StartPrinter());
  support::PrivateCups cups(rig.dir);
  const std::string why = cups.Start("relayqueue", "socket://" + rig.ip + ":9100/?waiteof=false");
  ASSERT_TRUE(why.empty()) << "no private cupsd: " << why;
  rig.relayEnvironment = {{"CUPS_SERVER", cups.socket()}};
  ASSERT_TRUE(
      rig.StartRelayOnPort("relayqueue", "Baudrate=1\nTimeout=200\nPopup=NO\nReprint=YES\n"));
  ASSERT_TRUE(rig.OpenApplicationPort()) << rig.relay.Output();
  for (int k = 1; k <= 2; ++k) {
    SCOPED_TRACE(k);
    const std::string text = "SPOOLED RECEIPT " + std::to_string(k) + "\n";
    const Bytes job(text.begin(), text.end());
    ASSERT_TRUE(rig.app.Write(job));
    // CUPS hands each of its jobs to the printer on a connection of its own.
    ASSERT_TRUE(rig.printer.events().Next("conn close", std::chrono::seconds(30)))
        << rig.Log() << rig.relay.Output() << rig.printer.events().Dump();
    EXPECT_EQ(CountBytes(rig.Recorded(), job), 1) << rig.Log() << rig.relay.Output();
  }
  EXPECT_TRUE(rig.relay.Running());
}

TEST_F(Relay, SigtermEndsTheRelayCleanly) {
  Start("Timeout=300\n");
  rig.relay.Signal(SIGTERM);
  auto status = rig.relay.WaitExit(5000);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
}

}  // namespace
