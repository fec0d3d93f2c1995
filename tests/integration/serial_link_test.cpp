// The real serial and parallel links (through the link front, the POSIX
// serial ports and the real clock) against the printer simulator on a
// pseudo-terminal that the port map names COM3 or LPT1.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "links/link_front.h"
#include "platform/platform.h"
#include "platform/posix/port_map.h"
#include "tests/fakes/driven_lines_ports.h"
#include "tests/support/relay_rig.h"
#include "tests/support/temp_dir.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;

long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Like a POS program: initialise (which switches Automatic Status Back off),
// switch it on again, print, cut.
Bytes Receipt(const std::string& text) {
  const std::string job = "\x1B\x40\x1D\x61\xFF" + text + "\x0A\x1D\x56\x41\x03";
  return Bytes(job.begin(), job.end());
}

class PortLinkOnSimulator : public ::testing::Test {
 protected:
  PortLinkOnSimulator() {
    fs::create_directory(dir.File("dosdevices"));
    ports = platform::posix::MakeSerialPorts(dir.File("dosdevices"));
  }
  ~PortLinkOnSimulator() override {
    if (front) front->CloseLink();
  }
  void StartSim(const std::vector<std::string>& extra, const std::string& name = "com3") {
    std::vector<std::string> args = {"--pty", dir.File("dosdevices/" + name), "--record",
                                     dir.File("rx.bin")};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_EQ(sim.Start(printersim::SimBinaryPath(), args, &error), 0) << error;
  }
  void MakeFront(platform::SerialPorts& p) {
    platform::Platform record = platform::Native();
    record.serialPorts = &p;
    front = links::NewLinkFront(record);
  }
  int Write(const Bytes& b) { return front->WriteLink(b.data(), static_cast<int>(b.size())); }
  // Sends an operator command and waits until the simulator shows it applied.
  void Control(const std::string& command, const std::string& shows) {
    ASSERT_EQ(sim.Send(command), 0);
    WaitState(shows);
  }
  void WaitState(const std::string& shows) {
    for (;;) {
      const auto line = sim.events().Next("state ", milliseconds(5000));
      ASSERT_TRUE(line.has_value()) << shows << "\n" << sim.events().Dump();
      if (line->find(shows) != std::string::npos) return;
    }
  }
  bool WaitStatus(unsigned status, int ms = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(ms);
    while (front->GetStatus() != status && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(milliseconds(20));
    return front->GetStatus() == status;
  }
  Bytes Recorded() {
    const std::string text = support::ReadFile(dir.File("rx.bin"));
    return Bytes(text.begin(), text.end());
  }

  support::TempDir dir;
  std::unique_ptr<platform::SerialPorts> ports;
  printersim::SimProcess sim;
  std::unique_ptr<links::LinkFront> front;
};

TEST_F(PortLinkOnSimulator, JobAt115200IsPrintedAndConfirmed) {
  StartSim({});
  MakeFront(*ports);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(front->OpenLink("COM3", 115200), 0) << sim.events().Dump();
  const long long openMs = MsSince(start);
  EXPECT_LT(openMs, 1500);
  EXPECT_TRUE(sim.events().Next("cmd GS_a 255", milliseconds(2000)).has_value());

  const Bytes job = Receipt("COM3 RECEIPT 0001");
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Write(job), 1);
  EXPECT_EQ(front->WaitPrintResult(5000), 0u) << sim.events().Dump();
  const long long jobMs = MsSince(start);
  std::printf("ComLink over a pty: open %lld ms, job and confirmation %lld ms\n", openMs, jobMs);
  RecordProperty("open_ms", std::to_string(openMs));
  RecordProperty("job_ms", std::to_string(jobMs));
  EXPECT_EQ(support::CountBytes(Recorded(), job), 1);
  EXPECT_EQ(front->CloseLink(), 0);
}

class FaultsByProfile : public PortLinkOnSimulator,
                        public ::testing::WithParamInterface<const char*> {};

// Each profile's Automatic Status Back blocks reach the serial status table.
TEST_P(FaultsByProfile, CoverPaperAndNearEnd) {
  StartSim({"--profile", GetParam()});
  MakeFront(*ports);
  ASSERT_EQ(front->OpenLink("COM3", 9600), 0);
  ASSERT_TRUE(WaitStatus(0));
  Control("cover open", "cover=open");
  EXPECT_TRUE(WaitStatus(1)) << sim.events().Dump();
  EXPECT_EQ(front->WaitPrintResult(3000), 1u);
  Control("cover close", "cover=closed");
  EXPECT_TRUE(WaitStatus(0));
  Control("paper out", "paper=out");
  EXPECT_TRUE(WaitStatus(4)) << sim.events().Dump();
  Control("paper near-end", "paper=near-end");
  EXPECT_TRUE(WaitStatus(2));
  Control("paper ok", "paper=ok");
  EXPECT_TRUE(WaitStatus(0));
  EXPECT_EQ(front->WaitPrintResult(5000), 0u);
}

INSTANTIATE_TEST_SUITE_P(Serial, FaultsByProfile, ::testing::Values("default", "offline", "zero"));

TEST_F(PortLinkOnSimulator, SilentPrinterDoesNotHoldTheOpen) {
  StartSim({"--state", "silent"});
  MakeFront(*ports);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(front->OpenLink("COM3", 19200), 0);
  const long long openMs = MsSince(start);
  std::printf("ComLink open with a silent printer: %lld ms\n", openMs);
  EXPECT_GE(openMs, 3400);
  EXPECT_LT(openMs, 4500);
  EXPECT_EQ(front->WaitPrintResult(1000), 16u);
}

TEST_F(PortLinkOnSimulator, PortsThatCannotBeUsedFailWithMinus1) {
  StartSim({});
  MakeFront(*ports);
  EXPECT_EQ(front->OpenLink("COM9", 9600), -1);  // no such port
  support::WriteFile(dir.File("dosdevices/com4"), "");
  EXPECT_EQ(front->OpenLink("COM4", 9600), -1);  // not a serial device
  EXPECT_EQ(support::ReadFile(dir.File("dosdevices/com4")), "");
  EXPECT_EQ(front->OpenLink("COM3", 14400), -1);  // unsupported rate: the port is released
  {
    platform::Platform record = platform::Native();
    record.serialPorts = ports.get();
    auto second = links::NewLinkFront(record);
    ASSERT_EQ(front->OpenLink("COM3", 9600), 0);
    EXPECT_EQ(second->OpenLink("COM3", 9600), -1);  // in use
  }
  EXPECT_EQ(front->CloseLink(), 0);
  EXPECT_EQ(front->OpenLink("COM3", 38400), 0);
}

// A pseudo-terminal reports no modem lines: a printer that stops answering
// is not taken for one switched off, only for one that does not answer.
TEST_F(PortLinkOnSimulator, NoModemLinesIsNoPowerOff) {
  StartSim({});
  MakeFront(*ports);
  ASSERT_EQ(front->OpenLink("COM3", 9600), 0);
  Control("power off", "power=off");
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_EQ(front->GetStatus(), 0u);
  EXPECT_EQ(front->WaitPrintResult(1000), 16u);
}

// The CTS rule on a real pty, with CTS played by the test.
TEST_F(PortLinkOnSimulator, CtsOffReportsThePrinterSwitchedOff) {
  StartSim({});
  fakes::DrivenLinesPorts driven(*ports);
  MakeFront(driven);
  ASSERT_EQ(front->OpenLink("COM3", 9600), 0);
  ASSERT_TRUE(WaitStatus(0));
  Control("power off", "power=off");
  driven.SetCts(false);
  EXPECT_TRUE(WaitStatus(8, 1000));
  EXPECT_EQ(front->WaitPrintResult(3000), 8u);
  driven.SetCts(true);
  Control("power on", "power=on");
  EXPECT_TRUE(WaitStatus(0));
  // The request kept going out: Automatic Status Back is switched on again.
  WaitState("asb=on");
  Control("cover open", "cover=open");
  EXPECT_TRUE(WaitStatus(1)) << sim.events().Dump();
}

// The printer never answers, so the reader sends GS a 255 every turn while
// the job goes out: the job still arrives whole.
TEST_F(PortLinkOnSimulator, StatusCommandsNeverSplitAJob) {
  StartSim({"--state", "silent"});
  MakeFront(*ports);
  ASSERT_EQ(front->OpenLink("COM3", 115200), 0);
  Bytes job = Receipt("BIG JOB");
  for (int i = 0; i < 96 * 1024; ++i) job.push_back(static_cast<uint8_t>('a' + i % 26));
  for (size_t at = 0; at < job.size(); at += 8192) {
    const size_t n = std::min<size_t>(8192, job.size() - at);
    EXPECT_EQ(front->WriteLink(job.data() + at, static_cast<int>(n)), 1);
  }
  front->CloseLink();
  // Waits for the job itself: the status requests between its pieces make
  // the record as long as the job before the job's end is in.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (support::CountBytes(Recorded(), job) == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(milliseconds(20));
  const Bytes recorded = Recorded();
  EXPECT_EQ(support::CountBytes(recorded, job), 1);
  EXPECT_GT(support::CountBytes(recorded, {0x1D, 0x61, 0xFF}), 1);
}

// The parallel link on a port-map entry: its own status table (paper out
// only with the off-line codes of the "offline" profile).
TEST_F(PortLinkOnSimulator, ParallelPrinterPrintsAndReportsFaults) {
  StartSim({"--profile", "offline"}, "lpt1");
  MakeFront(*ports);
  ASSERT_EQ(front->OpenLink("LPT1", 0), 0);
  const Bytes job = Receipt("LPT1 RECEIPT");
  EXPECT_EQ(Write(job), static_cast<int>(job.size()));
  EXPECT_EQ(front->WaitPrintResult(5000), 0u) << sim.events().Dump();
  Control("cover open", "cover=open");
  EXPECT_TRUE(WaitStatus(1)) << sim.events().Dump();
  Control("cover close", "cover=closed");
  EXPECT_TRUE(WaitStatus(0));
  Control("paper out", "paper=out");
  EXPECT_TRUE(WaitStatus(4)) << sim.events().Dump();
  EXPECT_EQ(front->CloseLink(), 0);
  EXPECT_EQ(support::CountBytes(Recorded(), job), 1);
}

}  // namespace
