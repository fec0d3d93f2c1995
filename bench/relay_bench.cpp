// relay_bench: latency, throughput and processor time of the Linux
// portrelay, measured side by side with socat relaying the same kind of
// pseudo-terminal to the same printer simulator over loopback TCP; with
// --wine also portrelay.exe under Wine, its relay end a socat pseudo-terminal
// pair linked into the Wine prefix's dosdevices.
//
//   relay_bench [--repeat N] [--latency-jobs N] [--wine | --wine-only] [--wine-exe PATH]
//               [--journal-only] [--rounds N]
//
// Stopped by SIGINT or SIGTERM, it ends the relays and printers it started.
//
// For each job the application writes the job to its COM port and the clock
// stops when the printer has received the last byte. Latency is that time for
// a 16-byte job started when the relay is idle.
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/relay_service.h"
#include "platform/posix/native.h"
#include "platform/posix/port_map.h"
#include "tests/fakes/fake_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_view.h"
#include "tests/fakes/scripted_prompt.h"
#include "tests/support/child_process.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

Bytes Job(size_t size) {
  // Raster data, as a logo would be sent: the printer takes it as image bytes.
  Bytes job{0x1D, 0x76, 0x30, 0x00};
  const size_t payload = size > 8 ? size - 8 : 0;
  const size_t width = 64, rows = (payload + width - 1) / width;
  job.push_back(static_cast<uint8_t>(width));
  job.push_back(0);
  job.push_back(static_cast<uint8_t>(rows & 0xFF));
  job.push_back(static_cast<uint8_t>(rows >> 8));
  std::mt19937 random(7);
  for (size_t i = 0; i < rows * width; ++i) job.push_back(static_cast<uint8_t>(random()));
  return job;
}

// kPortrelayNoJournal: the same program with Journal=NO, for the journal's cost.
enum class Relay { kPortrelay, kPortrelayNoJournal, kSocat, kWine };

const char* RelayName(Relay relay) {
  switch (relay) {
    case Relay::kPortrelay:
      return "portrelay";
    case Relay::kPortrelayNoJournal:
      return "portrelay, journal off";
    case Relay::kSocat:
      return "socat";
    default:
      return "portrelay.exe (Wine)";
  }
}

class Rig {
 public:
  explicit Rig(std::string wineExe) : wineExe_(std::move(wineExe)) {
    // portrelay registers its launcher for log-on: keep that inside the run.
    ::setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    fs::copy_file(support::ExecutableDirectory() + "/portrelay", dir_.File("portrelay"));
    fs::create_directory(dir_.File("dosdevices"));
    fs::create_symlink("pty:com5", dir_.File("dosdevices/com6"));
    support::WriteFile(dir_.File("PortLists.ini"), "[Ports]\nPort1=COM6\n");
    std::random_device rd;
    for (int i = 0; i < 20 && ip_.empty(); ++i) {
      std::string candidate = "127.0.0." + std::to_string(2 + rd() % 250);
      std::string error;
      if (printer_.Start(printersim::SimBinaryPath(), {"--tcp", candidate + ":9100"}, &error) == 0)
        ip_ = candidate;
    }
    support::AlsoEndOnTermination(printer_.pid());
  }
  ~Rig() {
    Stop();
    support::AlsoEndOnTermination(0, printer_.pid());
  }

  bool Start(Relay relay, int timeoutMs) {
    relay_ = relay;
    switch (relay) {
      case Relay::kPortrelay:
      case Relay::kPortrelayNoJournal:
        return StartPortrelay(timeoutMs, relay == Relay::kPortrelay);
      case Relay::kSocat:
        return StartSocat();
      default:
        return StartWine(timeoutMs);
    }
  }

  // Milliseconds from the termination request to the relay's exit.
  double Stop() {
    if (!process_.Running()) return 0;
    const auto start = Clock::now();
    process_.Signal(SIGTERM);
    process_.WaitExit(20000);
    const double ms = Ms(Clock::now() - start);
    printer_.events().Next("conn close", std::chrono::seconds(5));
    if (pair_.Running()) {
      pair_.Signal(SIGTERM);
      pair_.WaitExit(5000);
    }
    return ms;
  }

  std::string AppPort() const {
    switch (relay_) {
      case Relay::kPortrelay:
      case Relay::kPortrelayNoJournal:
        return dir_.File("dosdevices/com5");
      case Relay::kSocat:
        return dir_.File("socat-com5");
      default:
        return dir_.File("wine-app");
    }
  }
  // The process whose processor time counts, and the Wine server's.
  int RelayPid() const {
    return relay_ == Relay::kWine ? winetest::WindowsProcessPid(process_.pid(), "portrelay.exe")
                                  : process_.pid();
  }
  int ServerPid() const { return relay_ == Relay::kWine ? winetest::WineserverPid() : -1; }

  // Milliseconds from the first write until the printer has all bytes; and
  // in `streamMs` from the printer's first byte to its last.
  double Deliver(support::SerialClient& app, const Bytes& job, double* streamMs = nullptr) {
    printer_.events().Skip();
    const auto start = Clock::now();
    Clock::time_point first{};
    std::thread writer([&] { app.Write(job); });
    size_t received = 0;
    while (received < job.size()) {
      auto line = printer_.events().Next("rx ", std::chrono::seconds(30));
      if (!line) break;
      if (received == 0) first = Clock::now();
      received += std::strtoul(line->c_str() + 3, nullptr, 10);
    }
    const auto end = Clock::now();
    writer.join();
    if (streamMs) *streamMs = Ms(end - first);
    return received >= job.size() ? Ms(end - start) : -1;
  }

 private:
  static bool WaitPresent(const std::string& path) {
    for (int i = 0; i < 200; ++i) {
      if (fs::exists(path)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  bool StartPortrelay(int timeoutMs, bool journal) {
    support::WriteFile(dir_.File("Settings.ini"),
                       "[Settings]\nPort=TCP/IP\nIP=" + ip_ +
                           "\nTimeout=" + std::to_string(timeoutMs) +
                           "\nRealtime=YES\nPopup=NO\nLogFile=NO\nReprint=YES\nResultTimeout="
                           "10000\n" +
                           (journal ? "" : "Journal=NO\n"));
    if (!process_.Start({dir_.File("portrelay")})) return false;
    return WaitPresent(dir_.File("dosdevices/com5")) &&
           printer_.events().Next("conn open", std::chrono::seconds(10)).has_value();
  }

  bool StartSocat() {
    const std::string app = dir_.File("socat-com5");
    if (!process_.Start({"socat", "pty,raw,echo=0,link=" + app, "tcp:" + ip_ + ":9100"}))
      return false;
    return WaitPresent(app) &&
           printer_.events().Next("conn open", std::chrono::seconds(10)).has_value();
  }

  // portrelay.exe in a folder of its own, as a fresh installation; its relay
  // end COM16 is one side of a socat pseudo-terminal pair, the other side the
  // application's port. Its relay end is open once a byte gets through (the
  // open purges what came before).
  bool StartWine(int timeoutMs) {
    if (!fs::exists(wineExe_)) return false;
    const std::string folder = dir_.File("wine");
    fs::remove_all(folder);
    fs::create_directory(folder);
    fs::copy_file(wineExe_, folder + "/portrelay.exe");
    support::WriteFile(folder + "/Settings.ini",
                       "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip_ +
                           "\r\nTimeout=" + std::to_string(timeoutMs) +
                           "\r\nRealtime=YES\r\nPopup=NO\r\nLogFile=NO\r\nReprint=YES\r\n"
                           "ResultTimeout=10000\r\n");
    support::WriteFile(folder + "/PortLists.ini", "[Ports]\r\nPort1=COM16\r\n");
    winetest::ForgetInstallation();
    const std::string relayEnd = winetest::WinePrefix() + "/dosdevices/com16";
    fs::remove(relayEnd);
    fs::remove(AppPort());
    if (!pair_.Start(
            {"socat", "pty,raw,echo=0,link=" + relayEnd, "pty,raw,echo=0,link=" + AppPort()}) ||
        !WaitPresent(relayEnd) || !WaitPresent(AppPort()))
      return false;
    if (!process_.Start(winetest::WineCommand(folder + "/portrelay.exe"))) return false;
    if (!printer_.events().Next("conn open", std::chrono::seconds(60))) return false;
    support::SerialClient app;
    if (!app.Open(AppPort())) return false;
    for (int attempt = 0; attempt < 30; ++attempt) {
      printer_.events().Skip();
      app.Write(Bytes{0x0A});
      if (printer_.events().Next("rx ", std::chrono::seconds(2))) {
        // Let that job end and be confirmed before measuring.
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs + 2500));
        return true;
      }
    }
    return false;
  }

  support::TempDir dir_;
  std::string wineExe_;
  std::string ip_;
  printersim::SimProcess printer_;
  support::ChildProcess process_;
  support::ChildProcess pair_;
  Relay relay_ = Relay::kPortrelay;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  // Nearest rank: the smallest value with at least p of the values at or below it.
  size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size())));
  return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}
double Median(const std::vector<double>& v) { return Percentile(v, 0.5); }

const size_t kSizes[] = {1024, 64 * 1024, 1024 * 1024};
const char* const kSizeNames[] = {"1 KB", "64 KB", "1 MB"};

struct Result {
  bool ran = false;
  std::vector<double> latencyMs;   // every 16-byte job
  std::vector<double> deliveryMs;  // per job size, median
  std::vector<double> streamMs;    // per job size: first to last byte at the printer
  double idleCpu = -1;             // seconds over 10 s idle
  double idleServerCpu = -1;       // the Wine server's, over the same 10 s
  double jobCpu = -1;              // seconds per 4 KB job
  double jobServerCpu = -1;
  std::vector<double> stopMs;  // termination request to exit (Linux)
};

// The gap between jobs: longer than the receive time-out (200 ms) plus the
// job's confirmation (a 1 s pause, then the process-ID request), so every job
// finds the relay idle, as a POS program's receipts do; plus a random part of
// 100 ms, so the jobs meet every point of the relay's former 100 ms pass.
const int kTimeoutMs = 200;
const int kGapMs = 1800;
void Pause() {
  static std::mt19937 random(11);
  std::this_thread::sleep_for(std::chrono::milliseconds(kGapMs + static_cast<int>(random() % 100)));
}

// Rounds of one relay taken one after the other: every latency, and per
// measure the median of the rounds' figures.
Result Combine(const std::vector<Result>& rounds) {
  Result all;
  if (rounds.empty()) return all;
  all.ran = std::all_of(rounds.begin(), rounds.end(), [](const Result& r) { return r.ran; });
  auto median = [&](auto field) {
    std::vector<double> v;
    for (const Result& r : rounds) v.push_back(field(r));
    return Median(v);
  };
  for (const Result& r : rounds) {
    all.latencyMs.insert(all.latencyMs.end(), r.latencyMs.begin(), r.latencyMs.end());
    all.stopMs.insert(all.stopMs.end(), r.stopMs.begin(), r.stopMs.end());
  }
  for (size_t s = 0; s < rounds.front().deliveryMs.size(); ++s) {
    all.deliveryMs.push_back(median([s](const Result& r) { return r.deliveryMs.at(s); }));
    all.streamMs.push_back(median([s](const Result& r) { return r.streamMs.at(s); }));
  }
  all.idleCpu = median([](const Result& r) { return r.idleCpu; });
  all.jobCpu = median([](const Result& r) { return r.jobCpu; });
  return all;
}

void MeasureJobs(Rig& rig, Result& r, int latencyJobs, int repeat, size_t sizes) {
  support::SerialClient app;
  if (!app.Open(rig.AppPort())) return;
  for (int i = 0; i < latencyJobs; ++i) {
    Pause();
    r.latencyMs.push_back(rig.Deliver(app, Bytes(16, 'x')));
  }
  for (size_t s = 0; s < sizes; ++s) {
    const Bytes job = Job(kSizes[s]);
    std::vector<double> times, streams;
    for (int i = 0; i < repeat; ++i) {
      Pause();
      double stream = 0;
      times.push_back(rig.Deliver(app, job, &stream));
      streams.push_back(stream);
    }
    r.deliveryMs.push_back(Median(times));
    r.streamMs.push_back(Median(streams));
  }
  r.ran = true;
}

// Processor time over 10 s idle, with the application port closed.
void MeasureIdle(Rig& rig, Result& r) {
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double before = support::ProcessorSeconds(rig.RelayPid());
  const double serverBefore = support::ProcessorSeconds(rig.ServerPid());
  std::this_thread::sleep_for(std::chrono::seconds(10));
  r.idleCpu = support::ProcessorSeconds(rig.RelayPid()) - before;
  if (serverBefore >= 0)
    r.idleServerCpu = support::ProcessorSeconds(rig.ServerPid()) - serverBefore;
}

// Processor time per 4 KB job with the default receive time-out of 1000 ms,
// including the job's end and confirmation.
void MeasurePerJob(Rig& rig, Result& r) {
  support::SerialClient app;
  if (!app.Open(rig.AppPort())) return;
  const Bytes job = Job(4096);
  const int jobs = 5;
  const double before = support::ProcessorSeconds(rig.RelayPid());
  const double serverBefore = support::ProcessorSeconds(rig.ServerPid());
  for (int i = 0; i < jobs; ++i) {
    rig.Deliver(app, job);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // job end + confirmation
  }
  r.jobCpu = (support::ProcessorSeconds(rig.RelayPid()) - before) / jobs;
  if (serverBefore >= 0)
    r.jobServerCpu = (support::ProcessorSeconds(rig.ServerPid()) - serverBefore) / jobs;
}

Result MeasureRelay(Rig& rig, Relay relay, int latencyJobs, int repeat, size_t sizes) {
  Result r;
  if (!rig.Start(relay, kTimeoutMs)) {
    std::fprintf(stderr, "relay_bench: %s did not start\n", RelayName(relay));
    return r;
  }
  if (relay != Relay::kSocat) MeasureIdle(rig, r);
  MeasureJobs(rig, r, latencyJobs, repeat, sizes);
  r.stopMs.push_back(rig.Stop());
  if (relay == Relay::kSocat) return r;
  if (rig.Start(relay, 1000)) {
    MeasurePerJob(rig, r);
    r.stopMs.push_back(rig.Stop());
  }
  return r;
}

std::string Cell(const Result& r, double value, int decimals) {
  if (!r.ran) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// What the COM port driver under Wine does with the wait portrelay uses
// between jobs: comm_wait_probe.exe (beside portrelay.exe) on the two ends of
// a socat pseudo-terminal pair linked into dosdevices as COM17 and COM18;
// once as such a port is, without modem lines, and once with DSR and CTS on
// from the tests' modem-line library (when wine-run preloads it).
std::vector<std::string> ProbeWineWait(const std::string& wineExe) {
  std::vector<std::string> lines;
  const std::string probe = fs::path(wineExe).parent_path() / "comm_wait_probe.exe";
  if (!fs::exists(probe))
    return {"probe: " + probe + " is missing (a target of the Windows build)"};
  support::TempDir modemLines;
  support::WriteFile(modemLines.File("default"), "DSR CTS\n");
  const std::string dosdevices = winetest::WinePrefix() + "/dosdevices/";
  for (bool withLines : {false, true}) {
    fs::remove(dosdevices + "com17");
    fs::remove(dosdevices + "com18");
    support::ChildProcess pair, run;
    if (!pair.Start({"socat", "pty,raw,echo=0,link=" + dosdevices + "com17",
                     "pty,raw,echo=0,link=" + dosdevices + "com18"}) ||
        !winetest::WaitForFile(dosdevices + "com17", 5000) ||
        !winetest::WaitForFile(dosdevices + "com18", 5000))
      return {"probe: the pseudo-terminal pair did not start"};
    support::ChildProcess::Options options;
    if (withLines) options.environment.push_back({"PORTRELAY_MODEM_LINES", modemLines.path()});
    lines.push_back(withLines ? "with DSR and CTS from the modem-line library:"
                              : "as a pseudo-terminal is (no modem lines):");
    if (run.Start(winetest::WineCommand(probe, {"COM17", "COM18"}), options)) run.WaitExit(120000);
    for (const std::string& line : run.Lines())
      if (line.rfind("probe:", 0) == 0) lines.push_back("  " + line.substr(7));
    pair.Signal(SIGTERM);
    pair.WaitExit(5000);
  }
  fs::remove(dosdevices + "com17");
  fs::remove(dosdevices + "com18");
  return lines;
}

// Milliseconds from setting the stop flag to the worker's end, the worker
// idle between passes on a real relay end (a pseudo-terminal) with the real
// clock; each stop at a random point of the worker's 100 ms pause.
std::vector<double> MeasureWorkerStop(int trials) {
  std::vector<double> ms;
  support::TempDir dir;
  fs::create_directory(dir.File("dosdevices"));
  fs::create_symlink("pty:com5", dir.File("dosdevices/com6"));
  fakes::FakePlatform fake;
  platform::posix::PosixClock clock;
  std::unique_ptr<platform::SerialPorts> ports =
      platform::posix::MakeSerialPorts(dir.File("dosdevices"));
  fake.platform.clock = &clock;
  fake.platform.serialPorts = ports.get();
  fake.files.SetModuleFileName(dir.File("portrelay"));
  fakes::RecordingView view;
  fakes::ScriptedPrompt prompt;
  fakes::FakeLink link;
  core::RelayService service(fake.platform, view, prompt, link);
  service.LoadSettings();
  service.ports().handles[0] = core::OpenRelayPort(fake.platform, "\\\\.\\COM6");
  service.ports().count = 1;
  if (!service.ports().handles[0]) return ms;
  std::mt19937 random(5);
  for (int i = 0; i < trials; ++i) {
    service.stopFlag() = 0;
    service.worker().Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 100));
    const auto start = Clock::now();
    service.stopFlag() = 1;
    service.worker().workerEnded().Wait();
    ms.push_back(Ms(Clock::now() - start));
    service.worker().WaitEnded();
  }
  return ms;
}

constexpr const char* kUsage =
    "usage: relay_bench [--repeat N] [--latency-jobs N] [--wine | --wine-only] [--wine-exe PATH]\n"
    "Latency, throughput and processor time of the Linux portrelay beside socat (and\n"
    "with --wine of portrelay.exe under Wine), as a Markdown table; see bench/README.md.\n"
    "  --repeat N        jobs per delivery measure (11)\n"
    "  --latency-jobs N  16-byte jobs from idle (60)\n"
    "  --wine            also portrelay.exe under Wine; --wine-only: only that\n"
    "  --wine-exe PATH   the portrelay.exe to run\n"
    "  --journal-only    only portrelay with the journal on and off (no socat, no Wine)\n"
    "  --rounds N        journal on and off taken in turn N times, each measure the\n"
    "                    median of the rounds (1)\n";

}  // namespace

int main(int argc, char** argv) {
  int repeat = 11, latencyJobs = 60, rounds = 1;
  bool wine = false, linux = true, journalOnly = false;
  std::string wineExe;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool valued = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", kUsage);
      return 0;
    } else if (arg == "--repeat" && valued) {
      repeat = std::atoi(argv[++i]);
    } else if (arg == "--latency-jobs" && valued) {
      latencyJobs = std::atoi(argv[++i]);
    } else if (arg == "--wine") {
      wine = true;
    } else if (arg == "--wine-only") {
      wine = true, linux = false;
    } else if (arg == "--rounds" && valued) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--journal-only") {
      journalOnly = true;
    } else if (arg == "--wine-exe" && valued) {
      wine = true;
      wineExe = argv[++i];
    } else {
      std::fprintf(stderr, "relay_bench: unknown argument '%s' (see --help)\n", arg.c_str());
      return 2;
    }
  }
  if (wineExe.empty()) wineExe = winetest::WindowsProgram("portrelay.exe");
  support::EndChildrenOnTermination();
  signal(SIGPIPE, SIG_IGN);

  if (journalOnly) wine = false, linux = true;
  // Other work on the machine shows in every figure: say how much there was.
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) == 3) {
    std::printf("load average at the start: %.2f %.2f %.2f\n\n", load[0], load[1], load[2]);
  }
  const std::vector<double> workerStop = MeasureWorkerStop(linux && !journalOnly ? 30 : 0);
  Rig rig(wineExe);
  Result ours, noJournal, theirs, underWine;
  if (linux) {
    // On and off in turn, so that a change in the machine's load meets both.
    std::vector<Result> on, off;
    for (int round = 0; round < rounds; ++round) {
      on.push_back(MeasureRelay(rig, Relay::kPortrelay, latencyJobs, repeat, 3));
      off.push_back(MeasureRelay(rig, Relay::kPortrelayNoJournal, latencyJobs, repeat, 3));
    }
    ours = Combine(on);
    noJournal = Combine(off);
    if (!journalOnly) theirs = MeasureRelay(rig, Relay::kSocat, latencyJobs, repeat, 3);
    if (!ours.ran || (!journalOnly && !theirs.ran)) return 1;
  }
  std::vector<std::string> probe;
  if (wine) {
    probe = ProbeWineWait(wineExe);
    underWine = MeasureRelay(rig, Relay::kWine, latencyJobs, repeat, 3);
  }

  auto printJournalTable = [&] {
    if (!linux || !noJournal.ran) return;
    // The journal's cost, measured in the same run: the same jobs with
    // Journal=NO in Settings.ini.
    std::printf("\n| measure | journal on | journal off | ratio on/off |\n|---|---|---|---|\n");
    auto pair = [&](const char* name, double on, double off, int decimals) {
      std::printf("| %s | %s | %s | %.2f |\n", name, Cell(ours, on, decimals).c_str(),
                  Cell(noJournal, off, decimals).c_str(), on / off);
    };
    for (double p : {0.5, 0.99}) {
      auto at = [p](const Result& r) { return Percentile(r.latencyMs, p); };
      pair(p == 0.5 ? "latency, 16-byte job from idle, median (ms)"
                    : "latency, 16-byte job from idle, 99th percentile (ms)",
           at(ours), at(noJournal), 2);
    }
    for (size_t i = 0; i < 3; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "throughput, %s job (MB/s)", kSizeNames[i]);
      auto at = [i](const Result& r) { return kSizes[i] / 1048576.0 / (r.deliveryMs[i] / 1000.0); };
      pair(name, at(ours), at(noJournal), 2);
    }
    pair("processor time over 10 s idle (s)", ours.idleCpu, noJournal.idleCpu, 4);
    pair("processor time per 4 KB job (s)", ours.jobCpu, noJournal.jobCpu, 4);
  };
  if (journalOnly) {
    printJournalTable();
    return 0;
  }

  std::printf(
      "latency: %d jobs of 16 bytes, each from idle; delivery: median of %d jobs, first byte "
      "written to last byte at the printer\n\n",
      latencyJobs, repeat);
  std::printf("| measure | portrelay | socat | ratio portrelay/socat |%s\n|---|---|---|---|%s\n",
              wine ? " portrelay.exe under Wine |" : "", wine ? "---|" : "");
  auto pick = [](const Result& r, auto f) { return r.ran ? f(r) : 0.0; };
  auto row = [&](const char* name, double a, double b, double w, int decimals) {
    std::printf("| %s | %s | %s | %.2f |", name, Cell(ours, a, decimals).c_str(),
                Cell(theirs, b, decimals).c_str(), a / b);
    if (wine) std::printf(" %s |", Cell(underWine, w, decimals).c_str());
    std::printf("\n");
  };
  for (double p : {0.5, 0.99}) {
    char name[64];
    std::snprintf(name, sizeof name, "latency, 16-byte job from idle, %s (ms)",
                  p == 0.5 ? "median" : "99th percentile");
    auto at = [p](const Result& r) { return Percentile(r.latencyMs, p); };
    row(name, pick(ours, at), pick(theirs, at), pick(underWine, at), 2);
  }
  for (size_t i = 0; i < 3; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "delivery, %s job (ms)", kSizeNames[i]);
    auto at = [i](const Result& r) { return r.deliveryMs[i]; };
    row(name, pick(ours, at), pick(theirs, at), pick(underWine, at), 1);
  }
  for (size_t i = 0; i < 3; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "throughput, %s job (MB/s)", kSizeNames[i]);
    auto at = [i](const Result& r) { return kSizes[i] / 1048576.0 / (r.deliveryMs[i] / 1000.0); };
    row(name, pick(ours, at), pick(theirs, at), pick(underWine, at), 2);
  }
  for (size_t i = 1; i < 3; ++i) {
    char name[96];
    std::snprintf(name, sizeof name,
                  "forwarding rate inside the job, %s (MB/s, first to last byte)", kSizeNames[i]);
    auto at = [i](const Result& r) { return kSizes[i] / 1048576.0 / (r.streamMs[i] / 1000.0); };
    row(name, pick(ours, at), pick(theirs, at), pick(underWine, at), 2);
  }

  printJournalTable();

  auto stops = [](const Result& r) {
    std::string text;
    for (double ms : r.stopMs) {
      char one[32];
      std::snprintf(one, sizeof one, "%s%.0f", text.empty() ? "" : ", ", ms);
      text += one;
    }
    return text;
  };
  if (linux) {
    std::printf(
        "\nportrelay processor time: %.4f s over 10 s idle (application port closed); %.4f s per "
        "4 KB job (Timeout 1000 ms, including the job confirmation)\n",
        ours.idleCpu, ours.jobCpu);
    std::printf("portrelay, termination request to exit (ms): %s\n", stops(ours).c_str());
    std::printf(
        "worker, stop flag set during its pause to its end (ms, %zu stops): median %.2f, "
        "largest %.2f\n",
        workerStop.size(), Median(workerStop), Percentile(workerStop, 1.0));
  }
  if (wine && underWine.ran) {
    std::printf(
        "\nportrelay.exe under Wine processor time: %.4f s over 10 s idle (wineserver %.4f s); "
        "%.4f s per 4 KB job (wineserver %.4f s)\n",
        underWine.idleCpu, underWine.idleServerCpu, underWine.jobCpu, underWine.jobServerCpu);
  }
  if (!probe.empty()) {
    std::printf("\nWaitCommEvent (EV_RXCHAR) under Wine on a pseudo-terminal COM port:\n");
    for (const std::string& line : probe) std::printf("%s\n", line.c_str());
  }
  std::printf("\nlatency of every job (ms), in order:\n");
  const Result* const all[] = {&ours, &theirs, &underWine};
  for (const Result* r : all) {
    if (!r->ran) continue;
    std::printf("%s:", r == &ours ? "portrelay" : r == &theirs ? "socat" : "portrelay.exe (Wine)");
    for (double ms : r->latencyMs) std::printf(" %.2f", ms);
    std::printf("\n");
  }
  return 0;
}
