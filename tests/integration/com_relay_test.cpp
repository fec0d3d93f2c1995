// The whole relay on Linux with a serial printer: Settings.ini names COM3,
// which the port map binds to the printer simulator's pseudo-terminal. A
// job written to the application's port reaches the printer at 115200 baud
// and is confirmed; cover-open and paper-out during a job come out as the
// headless status pop-ups and end in a reprint.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/texts.h"
#include "tests/support/relay_rig.h"

namespace {

using Bytes = std::vector<uint8_t>;
using support::CountBytes;

// Like a POS program: initialise, switch on automatic status, print, cut.
Bytes Receipt(const std::string& text) {
  const std::string job = "\x1B\x40\x1D\x61\xFF" + text + "\x1D\x56\x41\x03";
  return Bytes(job.begin(), job.end());
}

class ComRelay : public ::testing::Test {
 protected:
  void Start(const std::string& settings, const std::vector<std::string>& printerArgs = {}) {
    ASSERT_TRUE(rig.StartPrinterOnPty("com3", printerArgs));
    ASSERT_TRUE(rig.StartRelayOnPort("COM3", "Baudrate=115200\n" + settings));
    ASSERT_TRUE(rig.OpenApplicationPort()) << rig.relay.Output();
  }
  bool WaitForCopies(const Bytes& job, int copies, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (CountBytes(rig.Recorded(), job) < copies && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return CountBytes(rig.Recorded(), job) == copies;
  }
  support::RelayRig rig;
};

TEST_F(ComRelay, AJobReachesTheSerialPrinterAndIsConfirmed) {
  const auto started = std::chrono::steady_clock::now();
  Start("Timeout=300\nResultTimeout=5000\n");
  const auto ready = std::chrono::steady_clock::now();
  Bytes job = Receipt("COM3 RECEIPT 0001\n");
  for (int i = 0; i < 20000; ++i) job.push_back(static_cast<uint8_t>('A' + i % 26));
  ASSERT_TRUE(rig.app.Write(job));
  ASSERT_TRUE(rig.printer.events().Next("cmd GS_(H 46464646", std::chrono::seconds(10)))
      << rig.printer.events().Dump();
  ASSERT_TRUE(rig.printer.events().Next("tx 7 37224646464600", std::chrono::seconds(5)));
  ASSERT_TRUE(rig.WaitForLog("-bytes end", 5000)) << rig.Log();
  const auto done = std::chrono::steady_clock::now();
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  const long long startMs = duration_cast<milliseconds>(ready - started).count();
  const long long jobMs = duration_cast<milliseconds>(done - ready).count();
  std::printf(
      "Relay with the printer on COM3 (pty): ready %lld ms, %zu-byte job confirmed %lld ms\n",
      startMs, job.size(), jobMs);
  RecordProperty("job_ms", std::to_string(jobMs));

  EXPECT_TRUE(WaitForCopies(job, 1, 3000));
  const std::string log = rig.Log();
  EXPECT_NE(log.find("TIMEOUT : COM6 port " + std::to_string(job.size()) + "-bytes end"),
            std::string::npos)
      << log;
  // No fault was reported for the job.
  EXPECT_EQ(rig.relay.Output().find("[Printing]"), std::string::npos) << rig.relay.Output();
}

TEST_F(ComRelay, StatusQueriesAreAnsweredByTheSerialPrinter) {
  Start("Timeout=300\nResultTimeout=3000\n");
  ASSERT_TRUE(rig.app.Write(Bytes{0x10, 0x04, 0x02}));
  EXPECT_EQ(rig.app.Read(1, 3000), Bytes{0x12});
}

struct Fault {
  const char* name;
  const char* start;
  const char* clear;
  const char* message;
};

class ComFaultDuringAJob : public ComRelay, public ::testing::WithParamInterface<Fault> {};

TEST_P(ComFaultDuringAJob, IsReportedAndTheJobPrintedAgain) {
  const Fault& fault = GetParam();
  Start("Timeout=300\nResultTimeout=3000\nPopup=YES\nReprint=YES\n");
  const Bytes job = Receipt("TABLE 9  1x TEA  2.40\n");
  ASSERT_TRUE(rig.app.Write(job));
  ASSERT_TRUE(rig.printer.events().Next("cmd GS_a 255", std::chrono::seconds(5)));
  // The status command may be the reader's own at start-up, before the job:
  // on a loaded machine the job can take a while longer.
  ASSERT_TRUE(WaitForCopies(job, 1, 20000)) << "copies: " << CountBytes(rig.Recorded(), job) << "\n"
                                            << rig.Log() << rig.printer.events().Dump();
  rig.printer.Send(fault.start);

  const std::string reported = std::string("COM3 port : ") + fault.message;
  ASSERT_TRUE(rig.relay.WaitForOutput(reported, 15000)) << rig.relay.Output();
  rig.printer.Send(fault.clear);
  ASSERT_TRUE(rig.relay.WaitForOutput(core::texts::kJobReprint.english, 15000))
      << rig.relay.Output();
  const std::string out = rig.relay.Output();
  EXPECT_LT(out.find(reported), out.find(core::texts::kJobNoError.english)) << out;
  EXPECT_TRUE(WaitForCopies(job, 2, 10000));
  EXPECT_TRUE(rig.printer.events().Next("tx 7 3722", std::chrono::seconds(8)))
      << rig.printer.events().Dump();
}

INSTANTIATE_TEST_SUITE_P(ComRelay, ComFaultDuringAJob,
                         ::testing::Values(Fault{"CoverOpen", "cover open", "cover close",
                                                 core::texts::kJobCoverOpen.english},
                                           Fault{"PaperOut", "paper out", "paper ok",
                                                 core::texts::kJobPaperOut.english}),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
