// The printer's answers through portrelay.exe under Wine: the relay end is one
// side of a socat pty pair linked into Wine's dosdevices as COM44, the test is
// the application on the other side, and the modem-line library of
// tests/modemlines gives the relay end the DSR line a com0com pair would give
// it (on while the application holds its port). The printer is the simulator
// on 127.0.0.N:9100, or on a pty linked in as COM45 whose CTS line the test
// switches like a printer's power.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <list>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/format.h"
#include "core/journal_reader.h"
#include "core/texts.h"
#include "platform/platform.h"
#include "tests/clients/node_client.h"
#include "tests/support/child_process.h"
#include "tests/support/relay_rig.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/modem_lines.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
namespace t = core::texts;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

const Bytes kProcessIdReply{0x37, 0x22, 0x46, 0x46, 0x46, 0x46, 0x00};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

Bytes Receipt(const std::string& text) {
  std::string job = "\x1B\x40" + text + "\n\x1D\x56\x41\x03";
  return Bytes(job.begin(), job.end());
}

class ReplyPathUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(winetest::ModemLines::Available())
        << "the modem-line library is missing: build the linux preset";
    const std::string exe = winetest::WindowsProgram("portrelay.exe");
    ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
    fs::copy_file(exe, dir.File("portrelay.exe"));
    winetest::ForgetInstallation();

    relayEnd = winetest::WinePrefix() + "/dosdevices/com44";
    ASSERT_TRUE(winetest::StartPtyPair(pair, relayEnd, dir.File("app")));
  }

  void TearDown() override {
    app.Close();
    StopRelay();
    StopClicker();
    pair.Signal(SIGTERM);
    pair.WaitExit(5000);
    printer.Terminate();
    fs::remove(relayEnd);
    if (!printerPort.empty()) fs::remove(printerPort);
  }

  void StartTcpPrinter() {
    std::string error;
    ip = printer.StartOnLoopback({"--record", dir.File("printer.bin")}, &error);
    ASSERT_FALSE(ip.empty());
  }

  // A serial printer on COM45 that is switched on (CTS on).
  void StartPtyPrinter() {
    printerPort = winetest::WinePrefix() + "/dosdevices/com45";
    fs::remove(printerPort);
    std::string error;
    ASSERT_EQ(printer.Start(printersim::SimBinaryPath(),
                            {"--pty", printerPort, "--record", dir.File("printer.bin")}, &error),
              0)
        << error;
    ASSERT_TRUE(lines.Set(printerPort, "CTS DSR"));
  }

  // Starts portrelay.exe with the [Settings] body after the printer's lines
  // and waits until its relay end is open.
  void StartRelay(const std::string& settings) {
    const std::string printerLines =
        ip.empty() ? "Port=COM45\r\nBaudrate=115200\r\n" : "Port=TCP/IP\r\nIP=" + ip + "\r\n";
    support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\n" + printerLines +
                                                     "LogFile=YES\r\nRealtime=YES\r\n" + settings);
    support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM44\r\n");
    support::ChildProcess::Options options;
    options.environment = lines.Environment();
    // A new process object for every start: Wine's own programs, started by
    // an earlier relay, may hold that one's output pipe open.
    relays.emplace_back();
    ASSERT_TRUE(relay().Start(winetest::WineCommand(dir.File("portrelay.exe")), options));
    ASSERT_TRUE(
        WaitFor([&] { return Log().find("COM44 open success") != std::string::npos; }, 60000))
        << relay().Output() << Log() << printer.events().Dump();
  }

  void StopRelay() {
    if (relays.empty()) return;
    relay().Signal(SIGTERM);
    relay().WaitExit(10000);
  }

  // The clicker answers pop-ups for 600 s at most; a long run starts another
  // when it has ended (a new process object: Wine may hold the old pipes).
  void StartClicker() {
    if (!clickers.empty() && clickers.back().Running()) return;
    clickers.emplace_back();
    ASSERT_TRUE(clickers.back().Start(winetest::WineCommand(
        winetest::WindowsProgram("dialog_clicker.exe"), {"600", dir.File("dialogs.txt")})));
  }
  // The clicker ends by its stop file; the Wine server may hold its pipes.
  void StopClicker() {
    if (clickers.empty() || !clickers.back().Running()) return;
    support::WriteFile(dir.File("dialogs.txt.stop"), "");
    if (!clickers.back().WaitExit(10000)) clickers.back().Signal(SIGKILL);
  }

  // The application holds its port: open, and DSR on at the relay end.
  void OpenApplication() {
    ASSERT_TRUE(app.Open(dir.File("app")));
    ASSERT_TRUE(lines.Set(relayEnd, "DSR CTS"));
  }
  void CloseApplication() {
    ASSERT_TRUE(lines.Set(relayEnd, ""));
    app.Close();
  }

  std::string Log() { return support::ReadLogFolder(dir.path()); }
  // Every job the journal holds has its printer's answer recorded. The answer
  // reaches the application a moment before the relay records it; a relay
  // ended in between prints that job again at its next start.
  bool JobsSettled() {
    core::JournalReader reader(*platform::Native().durableFiles, dir.File("Journal"), '/');
    return reader.Load() == 0 && !reader.jobs().empty() && reader.Unconfirmed().empty();
  }
  std::string Dialogs() { return support::ReadFile(dir.File("dialogs.txt")); }
  int Copies(const Bytes& job) {
    const std::string text = support::ReadFile(dir.File("printer.bin"));
    return support::CountBytes(Bytes(text.begin(), text.end()), job);
  }
  std::string Diagnostics() {
    return "\n--- log\n" + Log() + "--- relay\n" + (relays.empty() ? "" : relay().Output()) +
           "--- printer\n" + printer.events().Dump();
  }

  support::TempDir dir;
  winetest::ModemLines lines;
  std::string relayEnd;
  std::string printerPort;
  std::string ip;
  support::ChildProcess pair;
  std::list<support::ChildProcess> relays;  // the last one runs
  support::ChildProcess& relay() { return relays.back(); }
  std::list<support::ChildProcess> clickers;  // the last one runs
  printersim::SimProcess printer;
  support::SerialClient app;
};

struct StatusCase {
  const char* name;
  const char* printerState;  // a printer-sim command, or ""
  uint8_t offlineCause;      // the answer to DLE EOT 2
  uint8_t paperSensor;       // the answer to DLE EOT 4
};

class StatusQueryUnderWine : public ReplyPathUnderWine,
                             public ::testing::WithParamInterface<StatusCase> {};

// Both answers come back, in order, and then the confirmation of the query's
// "job": the process-ID reply the relay asked for.
TEST_P(StatusQueryUnderWine, IsAnsweredByThePrinterWhileTheApplicationHoldsItsPort) {
  const StatusCase& c = GetParam();
  StartTcpPrinter();
  if (*c.printerState) {
    ASSERT_EQ(printer.Send(c.printerState), 0);
  }
  StartRelay("Timeout=300\r\nResultTimeout=3000\r\nPopup=NO\r\nReprint=NO\r\n");
  OpenApplication();

  ASSERT_TRUE(app.Write(Bytes{0x10, 0x04, 0x02, 0x10, 0x04, 0x04}));
  EXPECT_EQ(app.Read(2, 10000), (Bytes{c.offlineCause, c.paperSensor})) << Diagnostics();
  EXPECT_EQ(app.Read(kProcessIdReply.size(), 10000), kProcessIdReply) << Diagnostics();
  EXPECT_NE(Log().find("DLE EOT 2"), std::string::npos) << Log();
}

INSTANTIATE_TEST_SUITE_P(
    Wine, StatusQueryUnderWine,
    ::testing::Values(StatusCase{"Healthy", "", 0x12, 0x12},
                      StatusCase{"PaperNearEnd", "paper near-end", 0x12, 0x1E}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

// An application asks and hangs up at once: the answer comes while no
// application holds the port (DSR off), so it is dropped instead of waiting
// in the port for the next application that opens it.
TEST_F(ReplyPathUnderWine, AnAnswerForAnApplicationThatHungUpIsNotLeftForTheNextOne) {
  StartTcpPrinter();
  StartRelay("Timeout=300\r\nResultTimeout=2000\r\nPopup=NO\r\nReprint=NO\r\n");
  printer.events().Skip();  // the link's own status questions at its open
  ASSERT_TRUE(app.Open(dir.File("app")));
  ASSERT_TRUE(app.Write(Bytes{0x10, 0x04, 0x02}));
  app.Close();  // before the relay has even read the question
  ASSERT_TRUE(printer.events().Next("cmd DLE_EOT 2", seconds(20))) << Diagnostics();
  ASSERT_TRUE(printer.events().Next("tx 1 12", seconds(5))) << Diagnostics();
  // Nothing more comes from the printer for this question: its confirmation
  // goes unanswered ("no response" after ResultTimeout, pop-ups off).
  ASSERT_EQ(printer.Send("silent on"), 0);
  ASSERT_TRUE(printer.events().Next("drop 7 37224646464600", seconds(20))) << Diagnostics();
  ASSERT_EQ(printer.Send("silent off"), 0);

  OpenApplication();
  EXPECT_TRUE(app.Read(1, 1000).empty()) << "a stale answer reached the next application";
  ASSERT_TRUE(app.Write(Bytes{0x10, 0x04, 0x04}));
  EXPECT_EQ(app.Read(1, 10000), Bytes{0x12}) << Diagnostics();
  EXPECT_EQ(app.Read(kProcessIdReply.size(), 10000), kProcessIdReply) << Diagnostics();
}

// Every job is confirmed while answers flow to the application.
TEST_F(ReplyPathUnderWine, JobsAreConfirmedWhileAnswersFlowToTheApplication) {
  StartTcpPrinter();
  StartRelay("Timeout=300\r\nResultTimeout=3000\r\nPopup=NO\r\nReprint=YES\r\n");
  OpenApplication();
  constexpr int kJobs = 5;
  for (int i = 0; i < kJobs; ++i) {
    // Like a POS program: ask, print, ask again, all in one go.
    Bytes job{0x10, 0x04, 0x02};
    const Bytes receipt = Receipt("TABLE " + std::to_string(i) + " 2x SOUP 7.00");
    job.insert(job.end(), receipt.begin(), receipt.end());
    job.insert(job.end(), {0x10, 0x04, 0x04});
    ASSERT_TRUE(app.Write(job));
    EXPECT_EQ(app.Read(2, 10000), (Bytes{0x12, 0x12})) << "job " << i << Diagnostics();
    ASSERT_EQ(app.Read(kProcessIdReply.size(), 10000), kProcessIdReply)
        << "job " << i << Diagnostics();
    EXPECT_EQ(Copies(receipt), 1) << "job " << i;
  }
  EXPECT_EQ(printer.events().Pending("cmd GS_(H").size(), static_cast<size_t>(kJobs));
}

// A serial printer switched off drops CTS: the relay says so in a pop-up, and
// again when it is back.
TEST_F(ReplyPathUnderWine, ASerialPrinterWithoutCtsIsReportedAsSwitchedOff) {
  StartPtyPrinter();
  StartClicker();
  StartRelay("Timeout=300\r\nResultTimeout=3000\r\nPopup=YES\r\nReprint=NO\r\n");
  ASSERT_EQ(lines.Outputs(printerPort), "DTR RTS");

  ASSERT_TRUE(lines.Set(printerPort, "DSR"));
  const std::string off =
      core::FormatText(t::kPortPrefix.english, "COM45", t::kIdlePowerOff.english);
  ASSERT_TRUE(WaitFor([&] { return Dialogs().find(off) != std::string::npos; }, 30000))
      << Dialogs() << Diagnostics();
  ASSERT_TRUE(lines.Set(printerPort, "CTS DSR"));
  const std::string back =
      core::FormatText(t::kPortPrefix.english, "COM45", t::kIdleNoError.english);
  ASSERT_TRUE(WaitFor([&] { return Dialogs().find(back) != std::string::npos; }, 30000))
      << Dialogs() << Diagnostics();
  EXPECT_NE(Log().find(off), std::string::npos);
}

class ClientUnderWine : public ReplyPathUnderWine,
                        public ::testing::WithParamInterface<clients::ClientCase> {};

// The unmodified client libraries (tests/clients) on the application end of
// portrelay.exe's virtual port; the relay end has DSR on while they run.
TEST_P(ClientUnderWine, PrintsAndReadsTheStatusThroughPortrelayExe) {
  const clients::ClientCase& c = GetParam();
  ASSERT_TRUE(clients::LibrariesInstalled())
      << "the client libraries are missing: run scripts/setup";
  StartTcpPrinter();
  StartRelay("Timeout=300\r\nResultTimeout=3000\r\nPopup=NO\r\nReprint=NO\r\n");
  if (c.coverOpen) {
    ASSERT_EQ(printer.Send("cover open"), 0);
    ASSERT_TRUE(printer.events().Next("state cover=open", seconds(5)));
  }
  ASSERT_TRUE(lines.Set(relayEnd, "DSR CTS"));
  clients::NodeClient client;
  const std::string output = client.Run(c.script, fs::canonical(dir.File("app")).string());
  ASSERT_TRUE(lines.Set(relayEnd, ""));
  for (const char* line : c.expected)
    EXPECT_NE(output.find(line), std::string::npos) << "missing \"" << line << "\" in\n"
                                                    << output << Diagnostics();
  if (!c.coverOpen) {
    ASSERT_TRUE(printer.events().Next("tx 7 37224646464600", seconds(20))) << Diagnostics();
    EXPECT_EQ(Copies(Bytes(c.receiptText, c.receiptText + std::strlen(c.receiptText))), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Wine, ClientUnderWine, ::testing::ValuesIn(clients::ClientCases()),
                         [](const ::testing::TestParamInfo<clients::ClientCase>& info) {
                           return std::string(info.param.name);
                         });

class RepeatedUnderWine : public ReplyPathUnderWine,
                          public ::testing::WithParamInterface<const char*> {};

// Start, a status query, a job and a second job, again and again: the relay
// must confirm every job and never stop reading after an answer. The count is
// PORTRELAY_WINE_REPLY_RUNS (default 3; 50 for the long run).
TEST_P(RepeatedUnderWine, StartQueryAndTwoJobsNeverStall) {
  const char* wanted = std::getenv("PORTRELAY_WINE_REPLY_RUNS");
  const int runs = wanted ? std::max(1, std::atoi(wanted)) : 3;
  // With a serial printer the first connection at start-up tries USB and says
  // so in a pop-up, which the clicker answers.
  const bool serial = std::string(GetParam()) == "Serial";
  if (!serial) StartTcpPrinter();
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    fs::remove_all(dir.File("MainLog"));
    if (serial) {
      // A fresh serial printer each time: its port was hung up at the close.
      printer.Terminate();
      StartPtyPrinter();
      StartClicker();
      ASSERT_FALSE(HasFatalFailure());
    }
    printer.events().Skip();
    StartRelay("Timeout=300\r\nResultTimeout=3000\r\nPopup=NO\r\nReprint=YES\r\n");
    ASSERT_FALSE(HasFatalFailure());
    OpenApplication();
    ASSERT_TRUE(app.Write(Bytes{0x10, 0x04, 0x02}));
    ASSERT_EQ(app.Read(1, 10000), Bytes{0x12}) << Diagnostics();
    ASSERT_EQ(app.Read(kProcessIdReply.size(), 10000), kProcessIdReply) << Diagnostics();
    for (int job = 1; job <= 2; ++job) {
      const Bytes receipt =
          Receipt("RUN " + std::to_string(run) + " JOB " + std::to_string(job) + " 3.50");
      ASSERT_TRUE(app.Write(receipt));
      ASSERT_EQ(app.Read(kProcessIdReply.size(), 10000), kProcessIdReply)
          << "job " << job << Diagnostics();
      EXPECT_EQ(Copies(receipt), 1);
    }
    ASSERT_TRUE(WaitFor([&] { return JobsSettled(); }, 10000)) << Diagnostics();
    CloseApplication();
    StopRelay();
  }
}

INSTANTIATE_TEST_SUITE_P(Wine, RepeatedUnderWine, ::testing::Values("Network", "Serial"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

}  // namespace
