// One printer's soak, from installation to verdict.
#include "bench/soak/lane.h"

#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "bench/soak/fault_injector.h"
#include "bench/soak/record_split.h"
#include "bench/soak/record_watch.h"
#include "tests/support/child_process.h"
#include "tests/support/serial_client.h"
#include "tools/printer-sim/sim_process.h"

namespace soak {
namespace fs = std::filesystem;
namespace {

std::mutex gOutput;
// Set-ups run one at a time: a program copied for one printer must not be
// open for writing while the other forks (its child would keep it busy).
std::mutex gSetup;

void Say(const std::string& line) {
  std::lock_guard<std::mutex> g(gOutput);
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

class Lane {
 public:
  explicit Lane(const LaneOptions& options) : o_(options) {}
  LaneResult Run();

 private:
  double Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - o_.t0).count();
  }
  bool Setup(std::string* error);
  bool StartPrinter(std::string* error);
  void SetCts(bool on);
  bool OpenApp();
  bool StartRelay(std::string* error);
  void RunJobs();
  void RunJob(JobPlan& plan);
  // Kills the relay, waits 0-3 s and starts it again; the application opens
  // its port anew.
  void KillAndRestart(const std::string& moment);
  void TakeSample();
  void Finish();
  void Journal(const std::string& line);
  bool Interrupted() const { return o_.interrupted && o_.interrupted->load(); }
  std::string Prefix() const { return "[" + o_.name + "] "; }

  const LaneOptions& o_;
  LaneResult r_;
  std::string dir_;
  std::string ip_;
  std::string appPath_;
  std::string linesFile_;
  printersim::SimProcess printer_;
  support::ChildProcess relay_;
  support::SerialClient app_;
  std::unique_ptr<RecordWatch> watch_;
  std::unique_ptr<FaultInjector> faults_;
  std::ofstream journal_;
  std::map<uint32_t, Bytes> sent_;
  std::optional<ProcStats> first_;
  double firstTime_ = 0;
  int consecutiveMissing_ = 0;
  double nextProgress_ = 60;
  std::vector<std::pair<std::string, std::string>> relayEnv_;
  std::vector<FaultSpan> killSpans_;
  std::mt19937 killRandom_;
  size_t jobsAtStart_ = 0;  // jobs before the relay's last start
};

bool Lane::StartPrinter(std::string* error) {
  std::vector<std::string> args;
  if (o_.tcp) {
    std::random_device rd;
    for (int attempt = 0; attempt < 20; ++attempt) {
      const std::string ip = "127.0.0." + std::to_string(2 + rd() % 250);
      args = {"--tcp",
              ip + ":9100",
              "--record",
              dir_ + "/received.bin",
              "--record-printed",
              dir_ + "/printed.bin"};
      if (printer_.Start(o_.simBinary, args, error) == 0) {
        ip_ = ip;
        return true;
      }
    }
    return false;
  }
  args = {"--pty",
          dir_ + "/dosdevices/com3",
          "--record",
          dir_ + "/received.bin",
          "--record-printed",
          dir_ + "/printed.bin"};
  return printer_.Start(o_.simBinary, args, error) == 0;
}

void Lane::SetCts(bool on) {
  if (linesFile_.empty()) return;
  WriteText(linesFile_ + ".new", on ? "DSR CTS\n" : "DSR\n");
  fs::rename(linesFile_ + ".new", linesFile_);
}

bool Lane::Setup(std::string* error) {
  std::lock_guard<std::mutex> oneAtATime(gSetup);
  std::string pattern = "/tmp/portrelay-soak-" + std::string(o_.tcp ? "tcp" : "serial") + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot make a working folder";
    return false;
  }
  dir_ = pattern;
  r_.workDir = dir_;
  journal_.open(dir_ + "/journal.txt");
  std::error_code ec;
  fs::copy_file(o_.relayBinary, dir_ + "/portrelay", ec);
  if (ec) {
    *error = "cannot copy " + o_.relayBinary + ": " + ec.message();
    return false;
  }
  fs::create_directory(dir_ + "/dosdevices");
  fs::create_symlink("pty:com5", dir_ + "/dosdevices/com6");
  WriteText(dir_ + "/PortLists.ini", "[Ports]\nPort1=COM6\n");
  appPath_ = dir_ + "/dosdevices/com5";

  if (!StartPrinter(error)) {
    *error = "printer-sim did not start: " + *error;
    return false;
  }
  std::vector<std::pair<std::string, std::string>> env{{"XDG_CONFIG_HOME", dir_ + "/config"},
                                                       {"PORTRELAY_DEBUG", "1"}};
  std::string settings = "[Settings]\n";
  if (o_.tcp) {
    settings += "Port=TCP/IP\nIP=" + ip_ + "\n";
  } else {
    settings += "Port=COM3\nBaudrate=115200\n";
    if (o_.serialCts) {
      // The printer's pty gets modem lines of its own: CTS on while it is on.
      const std::string& listen = printer_.listen_line();
      const std::string device = listen.substr(listen.rfind(' ') + 1);
      if (device.rfind("/dev/pts/", 0) != 0) {
        *error = "no pseudo-terminal in \"" + listen + "\"";
        return false;
      }
      if (!fs::exists(o_.modemLinesLibrary)) {
        *error = "the modem-line library " + o_.modemLinesLibrary + " is not built";
        return false;
      }
      fs::create_directory(dir_ + "/lines");
      linesFile_ = dir_ + "/lines/pts-" + device.substr(9);
      SetCts(true);
      env.emplace_back("LD_PRELOAD", o_.modemLinesLibrary);
      env.emplace_back("PORTRELAY_MODEM_LINES", dir_ + "/lines");
    }
  }
  settings += "Timeout=" + std::to_string(o_.plan.receiveTimeoutMs) +
              "\nResultTimeout=" + std::to_string(o_.resultTimeoutMs) +
              "\nPopup=NO\nReprint=YES\nLogFile=YES\nRealtime=YES\n";
  WriteText(dir_ + "/Settings.ini", settings);
  relayEnv_ = env;
  killRandom_.seed(static_cast<uint32_t>(o_.seed * 31 + static_cast<uint64_t>(o_.index)));
  if (!StartRelay(error)) return false;
  if (!printer_.events().Next("conn open", std::chrono::seconds(20))) {
    *error = relay_.Running() ? "portrelay never connected to the printer"
                              : "portrelay ended at start with status " +
                                    std::to_string(relay_.WaitExit(0).value_or(-1));
    return false;
  }
  if (relay_.Output().find("cannot be preloaded") != std::string::npos) {
    *error = "the modem-line library did not load into portrelay: " + relay_.Output();
    return false;
  }
  if (!app_.OpenWhenPresent(appPath_, 20000)) {
    *error = "the application's port " + appPath_ + " never appeared";
    return false;
  }
  watch_ = std::make_unique<RecordWatch>(dir_ + "/printed.bin", [this] { return Now(); });
  if (!watch_->Start(error)) return false;
  faults_ = std::make_unique<FaultInjector>(
      [this](const std::string& command) { printer_.Send(command); },
      [this](bool on) { SetCts(on); }, [this] { return Now(); });
  first_ = ReadProcStats(relay_.pid());
  firstTime_ = Now();
  return true;
}

bool Lane::StartRelay(std::string* error) {
  support::ChildProcess::Options options;
  options.workingDirectory = dir_;
  options.environment = relayEnv_;
  if (!relay_.Start({dir_ + "/portrelay"}, options)) {
    *error = "portrelay did not start";
    return false;
  }
  return true;
}

void Lane::KillAndRestart(const std::string& moment) {
  const double killed = Now();
  relay_.Signal(SIGKILL);
  relay_.WaitExit(5000);
  app_.Close();
  std::error_code ec;
  fs::remove(appPath_, ec);  // the dead relay's link; the new one makes its own
  const int pauseMs = static_cast<int>(killRandom_() % 3001);
  std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  // A printer that cannot be reached at start-up (its cover open, say) ends
  // the relay after five attempts: it is started again, as a user would.
  std::string error;
  bool back = false;
  for (int attempt = 0; attempt < 20 && !back && !Interrupted(); ++attempt) {
    if (!StartRelay(&error)) break;
    while (relay_.Running() && !fs::exists(appPath_))
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    back = relay_.Running() && app_.OpenWhenPresent(appPath_, 20000);
    if (!back) {
      relay_.WaitExit(5000);
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  }
  if (!back) r_.failures.push_back("portrelay did not come back after a kill: " + error);
  ++r_.kills[moment];
  // In flight at the kill: the job itself and one still waiting for its
  // confirmation (the soak goes on once a job is printed, not confirmed).
  const double confirmSeconds = 1.0 + o_.resultTimeoutMs / 1000.0 + 1.0;
  killSpans_.push_back(
      FaultSpan{"relay killed", killed - confirmSeconds, Now() + 1.0, Severity::kKill});
  Journal("  relay killed " + moment + ", started again after " + std::to_string(pauseMs) + " ms");
  // A new process: its memory, files and threads are sampled afresh.
  first_ = ReadProcStats(relay_.pid());
  firstTime_ = Now();
  r_.start.reset();
  jobsAtStart_ = r_.jobs.size();
}

bool Lane::OpenApp() {
  if (app_.IsOpen()) return true;
  return app_.Open(appPath_);
}

void Lane::Journal(const std::string& line) {
  journal_ << Fixed(Now(), 3) << " " << line << "\n";
  journal_.flush();
  if (o_.verbose) Say(Prefix() + line);
}

void Lane::TakeSample() {
  const auto s = ReadProcStats(relay_.pid());
  if (!s) return;
  r_.peakRssKb = std::max(r_.peakRssKb, s->rssKb);
  r_.peakFds = std::max(r_.peakFds, s->fds);
  // The start sample: after the warm-up, at a moment without faults.
  // After a kill, once the new relay has served two jobs: its journal opens
  // its day-file with the first one.
  if (!r_.start && static_cast<int>(r_.jobs.size()) >= o_.warmupJobs &&
      r_.jobs.size() >= jobsAtStart_ + 2 && faults_->Active() == 0) {
    r_.start = s;
    r_.startTime = Now();
  }
}

void Lane::RunJob(JobPlan& plan) {
  const Bytes& job = sent_.emplace(plan.number, plan.bytes).first->second;
  std::string what = "job " + std::to_string(plan.number) + " " + std::to_string(job.size()) +
                     " B, " + AppModeName(plan.mode);
  if (!plan.query.empty()) what += ", query";
  if (plan.fault) {
    what += std::string(", ") + FaultName(plan.fault->kind) + " " + PhaseName(plan.fault->phase) +
            " " + std::to_string(plan.fault->durationMs) + " ms";
  }
  auto inject = [&] {
    if (!plan.fault) return;
    if (!faults_->Inject(plan.fault->kind, plan.fault->durationMs))
      Journal("  (paper already in another state: not injected)");
  };

  if (plan.mode == AppMode::kPerJob) {
    app_.Close();
  } else if (plan.reopenBefore && app_.IsOpen()) {
    app_.Close();
    faults_->Note("application reopened its port");
  }
  JobRecord rec;
  rec.number = plan.number;
  rec.size = job.size();
  if (!OpenApp()) {
    Journal(what + ": the application's port cannot be opened");
    rec.writeStart = rec.writeEnd = Now();
    r_.jobs.push_back(rec);
    return;
  }

  Bytes bytes = plan.query;
  bytes.insert(bytes.end(), job.begin(), job.end());
  // The moment of this job's kill, if it has one.
  static const char* const kMoments[] = {"while the job arrives", "while the job is held",
                                         "while the job is forwarded",
                                         "while the job is confirmed"};
  const char* kill = nullptr;
  if (o_.killRate > 0 && std::uniform_real_distribution<double>(0, 1)(killRandom_) < o_.killRate)
    kill = kMoments[killRandom_() % 4];
  const bool during = plan.fault && plan.fault->phase == Phase::kDuring;
  size_t split =
      during ? plan.query.size() + static_cast<size_t>(plan.fault->at * job.size()) : bytes.size();
  if (kill == kMoments[0]) split = 1 + killRandom_() % bytes.size();
  if (plan.fault && plan.fault->phase == Phase::kBefore) inject();
  if (kill == kMoments[1] && !faults_->Inject(FaultKind::kCover, 2500 + killRandom_() % 2000))
    kill = kMoments[2];
  printer_.events().Skip();
  const size_t from = watch_->Size();
  rec.writeStart = Now();
  rec.written = app_.Write(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(split)));
  if (kill == kMoments[0]) {
    std::this_thread::sleep_for(std::chrono::milliseconds(killRandom_() % 100));
    KillAndRestart(kill);
    // Its port went away under it: the application writes the job again.
    rec.written = app_.Write(bytes);
    ++r_.rewritten;
  } else if (during) {
    inject();
    rec.written =
        rec.written && app_.Write(Bytes(bytes.begin() + static_cast<long>(split), bytes.end()));
  }
  rec.writeEnd = Now();
  if (kill == kMoments[1]) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200 + killRandom_() % 500));
    KillAndRestart(kill);
  } else if (kill == kMoments[2]) {
    std::this_thread::sleep_for(std::chrono::milliseconds(killRandom_() % 200));
    KillAndRestart(kill);
  } else if (kill == kMoments[3]) {
    const auto wait = std::chrono::milliseconds(1000 + o_.plan.receiveTimeoutMs + 4000);
    printer_.events().Next("cmd GS_(H 46464646", wait);
    std::this_thread::sleep_for(std::chrono::milliseconds(killRandom_() % 300));
    KillAndRestart(kill);
  }
  if (plan.mode == AppMode::kPerJob) app_.Close();
  Journal(what + (rec.written ? "" : ": NOT all written"));

  if (plan.fault && plan.fault->phase == Phase::kConfirm) {
    const auto wait = std::chrono::milliseconds(1000 + o_.plan.receiveTimeoutMs + 4000);
    if (!printer_.events().Next("cmd GS_(H 46464646", wait))
      Journal("  no confirmation request seen; fault injected anyway");
    inject();
  }

  // Until the job has come out whole, at most the bound.
  double arrived = -1;
  const uint32_t number = plan.number;
  double deadline = rec.writeStart + o_.limits.delayBound;
  if (kill && kill != kMoments[0]) {
    // After a kill the relay prints what its journal holds; what it never
    // took from the port went with the port, and the application, which saw
    // its port go away before the job came out, writes it again.
    deadline = Now() + 3.0 + o_.plan.receiveTimeoutMs / 1000.0 + o_.resultTimeoutMs / 1000.0;
  }
  const auto waitWhole = [&](double until) {
    watch_->WaitFor(from, until, [&](const uint8_t* data, size_t len, size_t base) {
      for (const Piece& p :
           SplitRecord(data, len, base, [&](uint32_t n) { return n == number ? &job : nullptr; })) {
        if (p.job == number && p.intact) {
          arrived = Now();
          return true;
        }
      }
      return false;
    });
  };
  waitWhole(deadline);
  if (arrived < 0 && kill && kill != kMoments[0]) {
    Journal("  not printed after the restart: the application writes it again");
    rec.written = OpenApp() && app_.Write(bytes);
    ++r_.rewritten;
    waitWhole(Now() + o_.limits.delayBound);
  }
  r_.jobs.push_back(rec);
  if (arrived < 0) {
    ++consecutiveMissing_;
    Journal("  job " + std::to_string(number) + " not printed whole within " +
            Fixed(o_.limits.delayBound, 1) + " s");
  } else {
    consecutiveMissing_ = 0;
    Journal("  printed after " + Fixed(arrived - rec.writeStart, 3) + " s");
  }
  if (plan.mode == AppMode::kReader && app_.IsOpen())
    r_.replyBytes += app_.Read(1 << 16, 30).size();
  if (plan.fault && plan.fault->phase == Phase::kAfter) inject();
  TakeSample();
  if (plan.gapMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(plan.gapMs));
}

void Lane::RunJobs() {
  Planner planner(o_.seed, o_.index, o_.plan);
  const double start = Now();
  for (;;) {
    if (Interrupted()) {
      r_.failures.push_back("interrupted");
      break;
    }
    if (r_.jobs.size() >= o_.jobs && Now() - start >= o_.minutes * 60) break;
    if (!relay_.Running()) {
      r_.failures.push_back("portrelay exited during the run (status " +
                            std::to_string(relay_.WaitExit(0).value_or(-1)) + ")");
      break;
    }
    if (consecutiveMissing_ >= 5) {
      r_.failures.push_back("5 jobs in a row did not come out within the bound: stopped");
      break;
    }
    JobPlan plan = planner.Next();
    RunJob(plan);
    if (Now() >= nextProgress_) {
      nextProgress_ += 60;
      int faults = 0;
      for (const auto& [kind, n] : faults_->Counts()) faults += n;
      Say(Prefix() + Fixed((Now() - start) / 60, 1) + " min: " + std::to_string(r_.jobs.size()) +
          " jobs, " + std::to_string(faults) + " faults and application events");
    }
  }
  r_.minutes = (Now() - start) / 60;
}

void Lane::Finish() {
  // Every fault cleared, then the relay gets time for its last reprints;
  // a soak stopped by SIGINT or SIGTERM ends its programs at once instead.
  faults_->ClearAll();
  const double quiet = 2.0 * (1.0 + o_.resultTimeoutMs / 1000.0) + 2.0;
  if (!Interrupted() && !watch_->WaitQuiet(quiet, Now() + 120))
    r_.failures.push_back("the printer never went quiet");
  if (relay_.Running()) {
    r_.end = ReadProcStats(relay_.pid());
    r_.endTime = Now();
    if (r_.end && first_ && r_.endTime > firstTime_) {
      r_.cpuPercent = 100 * (r_.end->cpuSeconds - first_->cpuSeconds) / (r_.endTime - firstTime_);
    }
    const double signalled = Now();
    relay_.Signal(SIGTERM);
    const auto status = relay_.WaitExit(static_cast<int>(kExitLimitSeconds * 1000) + 10000);
    if (status) {
      r_.exitSeconds = Now() - signalled;
      if (*status != 0)
        r_.failures.push_back("portrelay exited with status " + std::to_string(*status));
    } else {
      relay_.Signal(SIGKILL);
      relay_.WaitExit(5000);
      r_.failures.push_back("portrelay still ran 15 s after SIGTERM");
    }
    if (r_.exitSeconds > kExitLimitSeconds) {
      r_.failures.push_back("portrelay took " + Fixed(r_.exitSeconds, 1) +
                            " s to end after SIGTERM");
    }
  }
  printer_.Terminate();
  watch_->Stop();

  const Bytes record = watch_->Bytes();
  const auto pieces =
      SplitRecord(record.data(), record.size(), 0, [this](uint32_t n) -> const Bytes* {
        auto it = sent_.find(n);
        return it == sent_.end() ? nullptr : &it->second;
      });
  std::vector<FaultSpan> spans = faults_->Spans();
  spans.insert(spans.end(), killSpans_.begin(), killSpans_.end());
  r_.verdict = Judge(r_.jobs, spans, pieces, watch_->Checkpoints(), o_.limits);
  r_.injected = faults_->Counts();

  if (r_.jobs.empty()) r_.failures.push_back("no job ran");
  if (!r_.start || !r_.end) {
    // With kills, each process may be too short-lived for a quiet sample.
    if (o_.killRate <= 0)
      r_.failures.push_back("no memory sample after the warm-up of " +
                            std::to_string(o_.warmupJobs) + " jobs without faults");
  } else {
    if (r_.end->rssKb > r_.start->rssKb + RssToleranceKb(r_.start->rssKb)) {
      r_.failures.push_back("memory grew from " + std::to_string(r_.start->rssKb) + " kB to " +
                            std::to_string(r_.end->rssKb) + " kB");
    }
    if (r_.end->fds > r_.start->fds)
      r_.failures.push_back("open files grew from " + std::to_string(r_.start->fds) + " to " +
                            std::to_string(r_.end->fds));
    if (r_.end->threads > r_.start->threads)
      r_.failures.push_back("threads grew from " + std::to_string(r_.start->threads) + " to " +
                            std::to_string(r_.end->threads));
  }
  if (r_.cpuPercent > kCpuLimitPercent)
    r_.failures.push_back("portrelay used " + Fixed(r_.cpuPercent, 1) + " % of a processor");
  r_.passed = r_.failures.empty() && r_.verdict.failures.empty();

  for (const auto& f : faults_->Spans())
    journal_ << "span " << f.kind << " " << Fixed(f.start, 3) << " " << Fixed(f.end, 3) << "\n";
  for (const auto& v : r_.verdict.jobs) {
    journal_ << "verdict job " << v.number << " copies " << v.copies << " fragments " << v.fragments
             << " delay " << Fixed(v.delay, 3) << (v.failures.empty() ? "" : " FAILED") << "\n";
  }
  journal_.close();
  WriteText(dir_ + "/relay-output.txt", relay_.Output());
  WriteText(dir_ + "/printer-events.txt", printer_.events().Dump());
}

LaneResult Lane::Run() {
  r_.name = o_.name;
  std::string error;
  if (!Setup(&error)) {
    r_.failures.push_back(error);
    if (!dir_.empty()) WriteText(dir_ + "/relay-output.txt", relay_.Output());
    return r_;
  }
  Say(Prefix() + "portrelay " + std::to_string(relay_.pid()) + " in " + dir_);
  RunJobs();
  Finish();
  if (r_.passed && !o_.keep) {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    r_.workDir.clear();
  }
  return r_;
}

}  // namespace

long RssToleranceKb(long startKb) { return 1024 + startKb / 10; }

LaneResult RunLane(const LaneOptions& options) { return Lane(options).Run(); }

}  // namespace soak
