// soak: runs the Linux portrelay against printer-sim for many checksummed
// jobs while a seeded schedule injects printer faults and application
// events, then checks that every job came out whole, that only jobs that met
// a fault came out twice, that no job waited past the bound, and that the
// relay's memory, files and threads stayed flat. See bench/README.md.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/soak/lane.h"
#include "tests/support/child_process.h"
#include "tools/printer-sim/sim_process.h"

namespace {

using soak::LaneOptions;
using soak::LaneResult;

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int) { gInterrupted = true; }

const char kUsage[] = R"(soak: fault soak of the Linux portrelay against printer-sim

Usage: soak [options]
  --jobs N              at least N jobs in all, shared by the printers (default 0)
  --minutes M           and at least M minutes (default 2 when --jobs is not given)
  --seed S              the schedule's seed (default: a random one, printed)
  --printers LIST       tcp,serial (default both, run side by side)
  --fault-rate P        share of jobs that get a printer fault (default 0.35)
  --max-fault-ms MS     longest fault (default 8000)
  --timeout-ms MS       the relay's Timeout (default 300)
  --result-timeout-ms MS  the relay's ResultTimeout (default 3000)
  --delay-bound S       longest a job may wait to come out whole (default: from the above)
  --serial-cts yes|no   the serial printer's cable carries CTS (default yes)
  --faults LIST         only these printer faults: cover,paper-out,power,silent,
                        drop,split,near-end (default all)
  --kill-rate P         share of jobs during which portrelay is killed with SIGKILL
                        (while the job arrives, is held, is forwarded or is
                        confirmed) and started again after 0-3 s (default 0)
  --app MODE            the application only as reader, print-only or per-job
                        (default: phases of each, chosen by the seed)
  --keep                keep the working folders (they are kept anyway on a failure)
  --verbose             print every job and fault as it happens
  --relay PATH          portrelay to test (default: beside this program)
  --printer-sim PATH    printer-sim (default: this build's)
  --modem-lines PATH    the modem-line preload library (default: this build's)
Exit status: 0 when every printer passed, 1 on a failure, 2 on bad usage.
)";

struct Options {
  uint32_t jobs = 0;
  double minutes = -1;
  uint64_t seed = 0;
  bool seedGiven = false;
  bool tcp = true, serial = true;
  double faultRate = 0.35;
  double killRate = 0;
  uint32_t maxFaultMs = 8000;
  uint32_t timeoutMs = 300;
  uint32_t resultTimeoutMs = 3000;
  double delayBound = -1;
  bool serialCts = true;
  std::optional<soak::AppMode> app;
  unsigned faultKinds = (1u << soak::kFaultKinds) - 1;
  bool keep = false, verbose = false;
  std::string relay, sim, modemLines;
};

bool ParseArgs(int argc, char** argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    try {
      if (arg == "--help" || arg == "-h") {
        std::fputs(kUsage, stdout);
        std::exit(0);
      } else if (arg == "--jobs") {
        o->jobs = static_cast<uint32_t>(std::stoul(value()));
      } else if (arg == "--minutes") {
        o->minutes = std::stod(value());
      } else if (arg == "--seed") {
        o->seed = std::stoull(value());
        o->seedGiven = true;
      } else if (arg == "--printers") {
        const std::string list = value();
        o->tcp = list.find("tcp") != std::string::npos;
        o->serial = list.find("serial") != std::string::npos;
        if (!o->tcp && !o->serial)
          throw std::invalid_argument("--printers wants tcp and/or serial");
      } else if (arg == "--fault-rate") {
        o->faultRate = std::stod(value());
      } else if (arg == "--kill-rate") {
        o->killRate = std::stod(value());
      } else if (arg == "--max-fault-ms") {
        o->maxFaultMs = static_cast<uint32_t>(std::stoul(value()));
      } else if (arg == "--timeout-ms") {
        o->timeoutMs = static_cast<uint32_t>(std::stoul(value()));
      } else if (arg == "--result-timeout-ms") {
        o->resultTimeoutMs = static_cast<uint32_t>(std::stoul(value()));
      } else if (arg == "--delay-bound") {
        o->delayBound = std::stod(value());
      } else if (arg == "--serial-cts") {
        const std::string v = value();
        if (v != "yes" && v != "no") throw std::invalid_argument("--serial-cts wants yes or no");
        o->serialCts = v == "yes";
      } else if (arg == "--faults") {
        const std::string v = value() + ",";
        o->faultKinds = 0;
        for (size_t from = 0, comma; (comma = v.find(',', from)) != std::string::npos;
             from = comma + 1) {
          const auto kind = soak::FaultKindFromOption(v.substr(from, comma - from));
          if (!kind) throw std::invalid_argument("--faults: unknown fault in " + v);
          o->faultKinds |= 1u << static_cast<int>(*kind);
        }
      } else if (arg == "--app") {
        const std::string v = value();
        if (v == "reader") {
          o->app = soak::AppMode::kReader;
        } else if (v == "print-only") {
          o->app = soak::AppMode::kPrintOnly;
        } else if (v == "per-job") {
          o->app = soak::AppMode::kPerJob;
        } else {
          throw std::invalid_argument("--app wants reader, print-only or per-job");
        }
      } else if (arg == "--keep") {
        o->keep = true;
      } else if (arg == "--verbose") {
        o->verbose = true;
      } else if (arg == "--relay") {
        o->relay = value();
      } else if (arg == "--printer-sim") {
        o->sim = value();
      } else if (arg == "--modem-lines") {
        o->modemLines = value();
      } else {
        throw std::invalid_argument("unknown option " + arg);
      }
    } catch (const std::exception& e) {
      *error = std::string(e.what()).find("sto") == 0 ? "bad number after " + arg : e.what();
      return false;
    }
  }
  if (o->minutes < 0) o->minutes = o->jobs == 0 ? 2 : 0;
  if (o->maxFaultMs < 200) o->maxFaultMs = 200;
  return true;
}

std::string Num(double v, int decimals = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

void PrintTable(const Options& o, const soak::Limits& limits,
                const std::vector<LaneResult>& lanes) {
  std::vector<std::pair<std::string, std::vector<std::string>>> rows;
  auto row = [&](const std::string& name, auto cell) {
    std::vector<std::string> cells;
    for (const LaneResult& r : lanes) cells.push_back(cell(r));
    rows.emplace_back(name, cells);
  };
  row("jobs", [](const LaneResult& r) { return std::to_string(r.jobs.size()); });
  row("minutes", [](const LaneResult& r) { return Num(r.minutes, 1); });
  std::set<std::string> kinds;
  for (const LaneResult& r : lanes)
    for (const auto& [kind, n] : r.injected) kinds.insert(kind);
  for (const std::string& kind : kinds) {
    row("injected: " + kind, [&](const LaneResult& r) {
      auto it = r.injected.find(kind);
      return std::to_string(it == r.injected.end() ? 0 : it->second);
    });
  }
  row("jobs that met a fault",
      [](const LaneResult& r) { return std::to_string(r.verdict.metFault); });
  row("jobs printed once / twice / 3+ times", [](const LaneResult& r) {
    int once = 0, twice = 0, more = 0;
    for (const auto& [copies, n] : r.verdict.copyCounts) {
      if (copies == 1) once += n;
      if (copies == 2) twice += n;
      if (copies > 2) more += n;
    }
    return std::to_string(once) + " / " + std::to_string(twice) + " / " + std::to_string(more);
  });
  row("jobs never printed whole",
      [](const LaneResult& r) { return std::to_string(r.verdict.lost); });
  row("printed twice without a fault",
      [](const LaneResult& r) { return std::to_string(r.verdict.duplicatesWithoutFault); });
  if (o.killRate > 0) {
    row("relay kills: arriving / held / forwarded / confirmed", [](const LaneResult& r) {
      auto n = [&](const char* moment) {
        auto it = r.kills.find(std::string("while the job ") + moment);
        return std::to_string(it == r.kills.end() ? 0 : it->second);
      };
      return n("arrives") + " / " + n("is held") + " / " + n("is forwarded") + " / " +
             n("is confirmed");
    });
    row("second copies of jobs in flight at a kill (allowed)",
        [](const LaneResult& r) { return std::to_string(r.verdict.duplicatesAfterKill); });
    row("jobs the application wrote again after a kill",
        [](const LaneResult& r) { return std::to_string(r.rewritten); });
  }
  row("printed twice after split answers only (counted as a fault)",
      [](const LaneResult& r) { return std::to_string(r.verdict.duplicatesAfterSplitAnswers); });
  row("cut-short or corrupted copies (without a fault)", [](const LaneResult& r) {
    return std::to_string(r.verdict.fragments) + " (" +
           std::to_string(r.verdict.fragmentsWithoutFault) + ")";
  });
  row("whole copies with relay commands inside",
      [](const LaneResult& r) { return std::to_string(r.verdict.interleaved); });
  row("worst delay, s (job)", [](const LaneResult& r) {
    return Num(r.verdict.worstDelay, 1) + " (" + std::to_string(r.verdict.worstDelayJob) + ")";
  });
  row("jobs over the delay bound",
      [](const LaneResult& r) { return std::to_string(r.verdict.late); });
  row("relay RSS kB: start / end / peak", [](const LaneResult& r) {
    if (!r.start || !r.end) return std::string("-");
    return std::to_string(r.start->rssKb) + " / " + std::to_string(r.end->rssKb) + " / " +
           std::to_string(r.peakRssKb);
  });
  row("relay open files: start / end / peak", [](const LaneResult& r) {
    if (!r.start || !r.end) return std::string("-");
    return std::to_string(r.start->fds) + " / " + std::to_string(r.end->fds) + " / " +
           std::to_string(r.peakFds);
  });
  row("relay threads: start / end", [](const LaneResult& r) {
    if (!r.start || !r.end) return std::string("-");
    return std::to_string(r.start->threads) + " / " + std::to_string(r.end->threads);
  });
  row("relay processor time, %", [](const LaneResult& r) { return Num(r.cpuPercent, 2); });
  row("answers the application read, bytes",
      [](const LaneResult& r) { return std::to_string(r.replyBytes); });
  row("exit after SIGTERM, s", [](const LaneResult& r) { return Num(r.exitSeconds, 2); });
  row("verdict", [](const LaneResult& r) { return std::string(r.passed ? "pass" : "FAIL"); });

  std::printf(
      "\nseed %llu; Timeout %u ms, ResultTimeout %u ms; faults on %.0f %% of the jobs, "
      "up to %u ms; kills on %.0f %%; delay bound %.1f s\n\n",
      static_cast<unsigned long long>(o.seed), o.timeoutMs, o.resultTimeoutMs, o.faultRate * 100,
      o.maxFaultMs, o.killRate * 100, limits.delayBound);
  std::printf("| measure |");
  for (const LaneResult& r : lanes) std::printf(" %s |", r.name.c_str());
  std::printf("\n|---|");
  for (size_t i = 0; i < lanes.size(); ++i) std::printf("---|");
  std::printf("\n");
  for (const auto& [name, cells] : rows) {
    std::printf("| %s |", name.c_str());
    for (const std::string& c : cells) std::printf(" %s |", c.c_str());
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!ParseArgs(argc, argv, &o, &error)) {
    std::fprintf(stderr, "soak: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (!o.seedGiven) o.seed = std::random_device{}() % 1000000;
  const std::string bin = support::ExecutableDirectory();
  if (o.relay.empty()) o.relay = bin + "/portrelay";
  if (o.sim.empty()) o.sim = printersim::SimBinaryPath();
  if (o.modemLines.empty())
    o.modemLines = bin + "/../modemlines/lib/x86_64-linux-gnu/libmodemlines.so";
  // The relays run in folders of their own: a relative path given here
  // would name nothing there (and a preload library that fails to load
  // leaves the serial printer without CTS, silently).
  for (std::string* path : {&o.relay, &o.sim, &o.modemLines})
    *path = std::filesystem::absolute(*path).lexically_normal().string();

  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  soak::Limits limits;
  const double maxFault = o.maxFaultMs / 1000.0;
  // Two faults can hold one job (its own and one left from the job before),
  // and each can cost the relay a confirmation round before the reprint.
  limits.delayBound = o.delayBound > 0
                          ? o.delayBound
                          : 2 * maxFault + 2 * (1 + o.resultTimeoutMs / 1000.0) +
                                o.timeoutMs / 1000.0 + 5 +
                                // a kill: the pause, the start, the recovery
                                (o.killRate > 0 ? 3 + 5 + o.resultTimeoutMs / 1000.0 : 0);

  std::vector<LaneOptions> lanes;
  auto add = [&](const std::string& name, bool tcp) {
    LaneOptions l;
    l.name = name;
    l.tcp = tcp;
    l.serialCts = o.serialCts;
    l.seed = o.seed;
    l.index = tcp ? 0 : 1;
    l.minutes = o.minutes;
    l.plan.tcp = tcp;
    l.plan.faultRate = o.faultRate;
    l.killRate = o.killRate;
    l.plan.maxFaultMs = o.maxFaultMs;
    l.plan.receiveTimeoutMs = o.timeoutMs;
    l.plan.onlyMode = o.app;
    l.plan.faultKinds = o.faultKinds;
    l.resultTimeoutMs = o.resultTimeoutMs;
    l.limits = limits;
    l.relayBinary = o.relay;
    l.simBinary = o.sim;
    l.modemLinesLibrary = o.modemLines;
    l.keep = o.keep;
    l.verbose = o.verbose;
    l.interrupted = &gInterrupted;
    lanes.push_back(l);
  };
  if (o.tcp) add("TCP printer", true);
  if (o.serial) add(o.serialCts ? "serial printer" : "serial printer, no CTS", false);
  const auto t0 = std::chrono::steady_clock::now();
  for (LaneOptions& l : lanes) {
    l.t0 = t0;
    l.jobs =
        (o.jobs + static_cast<uint32_t>(lanes.size()) - 1) / static_cast<uint32_t>(lanes.size());
  }

  // The same schedule again: every option as given, with the seed drawn.
  std::string rerun = "soak --seed " + std::to_string(o.seed);
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--seed") {
      ++i;
      continue;
    }
    rerun += std::string(" ") + argv[i];
  }
  std::printf("soak: seed %llu, at least %u jobs and %.1f minutes (rerun: %s)\n",
              static_cast<unsigned long long>(o.seed), o.jobs, o.minutes, rerun.c_str());
  std::fflush(stdout);

  std::vector<LaneResult> results(lanes.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < lanes.size(); ++i)
    threads.emplace_back([&, i] { results[i] = soak::RunLane(lanes[i]); });
  for (std::thread& t : threads) t.join();

  PrintTable(o, limits, results);
  bool passed = true;
  for (const LaneResult& r : results) {
    if (r.passed) continue;
    passed = false;
    std::printf("\n%s: FAILED (its folder: %s)\n", r.name.c_str(), r.workDir.c_str());
    for (const std::string& f : r.failures) std::printf("  %s\n", f.c_str());
    size_t shown = 0;
    for (const std::string& f : r.verdict.failures) {
      if (++shown > 40) {
        std::printf("  ... %zu more\n", r.verdict.failures.size() - 40);
        break;
      }
      std::printf("  %s\n", f.c_str());
    }
  }
  std::printf("\nsoak: %s\n", passed ? "passed" : "FAILED");
  return passed ? 0 : 1;
}
