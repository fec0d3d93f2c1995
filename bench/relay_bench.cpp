// relay_bench: throughput, added latency and processor time of the Linux
// portrelay, measured side by side with socat relaying the same
// pseudo-terminal to the same printer simulator over loopback TCP.
//
//   relay_bench [--repeat N]
//
// For each job size the application writes the job to its COM port and the
// clock stops when the printer has received the last byte. Latency is the
// same measurement for a 16-byte job started when the relay is idle.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
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

// Processor time (user + system) of a process, in seconds.
double CpuSeconds(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::vector<std::string> fields;
  size_t at = close + 2;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    fields.push_back(text.substr(at, end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  // utime and stime are fields 14 and 15 of the whole line (11, 12 after the name).
  return (std::stod(fields[11]) + std::stod(fields[12])) /
         static_cast<double>(sysconf(_SC_CLK_TCK));
}

class Rig {
 public:
  Rig() {
    // portrelay registers its launcher for log-on: keep that inside the run.
    ::setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    bin_ = support::ExecutableDirectory();
    fs::copy_file(bin_ + "/portrelay", dir_.File("portrelay"));
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
  }
  ~Rig() { StopRelay(); }

  bool StartPortrelay(int timeoutMs) {
    support::WriteFile(
        dir_.File("Settings.ini"),
        "[Settings]\nPort=TCP/IP\nIP=" + ip_ + "\nTimeout=" + std::to_string(timeoutMs) +
            "\nRealtime=YES\nPopup=NO\nLogFile=NO\nReprint=YES\nResultTimeout=10000\n");
    if (!relay_.Start({dir_.File("portrelay")})) return false;
    return WaitPresent(dir_.File("dosdevices/com5")) &&
           printer_.events().Next("conn open", std::chrono::seconds(10)).has_value();
  }
  bool StartSocat() {
    const std::string app = dir_.File("socat-com5");
    if (!relay_.Start({"socat", "pty,raw,echo=0,link=" + app, "tcp:" + ip_ + ":9100"}))
      return false;
    return WaitPresent(app) &&
           printer_.events().Next("conn open", std::chrono::seconds(10)).has_value();
  }
  void StopRelay() {
    relay_.Signal(SIGTERM);
    relay_.WaitExit(10000);
    printer_.events().Next("conn close", std::chrono::seconds(5));
  }
  std::string AppPort(bool socat) {
    return socat ? dir_.File("socat-com5") : dir_.File("dosdevices/com5");
  }
  int relayPid() const { return relay_.pid(); }

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

  support::TempDir dir_;
  std::string bin_;
  std::string ip_;
  printersim::SimProcess printer_;
  support::ChildProcess relay_;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Result {
  double latencyMs = 0;
  std::vector<double> deliveryMs;  // per job size
  std::vector<double> streamMs;    // per job size: first to last byte at the printer
};

const size_t kSizes[] = {1024, 64 * 1024, 1024 * 1024};

// Waits the gap plus a random part of the relay's 100 ms pass, so jobs do not
// all meet the relay at the same point of its cycle.
void Pause(int gapMs) {
  static std::mt19937 random(11);
  std::this_thread::sleep_for(std::chrono::milliseconds(gapMs + static_cast<int>(random() % 100)));
}

Result Measure(Rig& rig, bool socat, int repeat, int gapMs) {
  Result r;
  support::SerialClient app;
  if (!app.Open(rig.AppPort(socat))) return r;
  std::vector<double> latency;
  for (int i = 0; i < repeat; ++i) {
    Pause(gapMs);
    latency.push_back(rig.Deliver(app, Bytes(16, 'x')));
  }
  r.latencyMs = Median(latency);
  for (size_t size : kSizes) {
    const Bytes job = Job(size);
    std::vector<double> times, streams;
    for (int i = 0; i < repeat; ++i) {
      Pause(gapMs);
      double stream = 0;
      times.push_back(rig.Deliver(app, job, &stream));
      streams.push_back(stream);
    }
    r.deliveryMs.push_back(Median(times));
    r.streamMs.push_back(Median(streams));
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 11;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--repeat" && i + 1 < argc) repeat = std::atoi(argv[++i]);
  signal(SIGPIPE, SIG_IGN);

  // Jobs are separated by more than the receive time-out plus the job's
  // confirmation (a 1 s pause, then the process-ID request), so every job is
  // a job of its own and finds the relay idle, as a POS program's receipts do.
  const int timeoutMs = 200, gapMs = 1800;
  Rig rig;
  if (!rig.StartPortrelay(timeoutMs)) {
    std::fprintf(stderr, "relay_bench: portrelay did not start\n");
    return 1;
  }
  // Processor time while idle for 10 s.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double idleStart = CpuSeconds(rig.relayPid());
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double idleCpu = CpuSeconds(rig.relayPid()) - idleStart;
  const Result ours = Measure(rig, false, repeat, gapMs);
  rig.StopRelay();

  // Processor time per job with the default receive time-out of 1000 ms.
  rig.StartPortrelay(1000);
  double perJob = 0;
  {
    support::SerialClient app;
    app.Open(rig.AppPort(false));
    const Bytes job = Job(4096);
    const int jobs = 5;
    const double before = CpuSeconds(rig.relayPid());
    for (int i = 0; i < jobs; ++i) {
      rig.Deliver(app, job);
      std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // job end + confirmation
    }
    perJob = (CpuSeconds(rig.relayPid()) - before) / jobs;
  }
  rig.StopRelay();

  if (!rig.StartSocat()) {
    std::fprintf(stderr, "relay_bench: socat did not start\n");
    return 1;
  }
  const Result theirs = Measure(rig, true, repeat, gapMs);
  rig.StopRelay();

  std::printf("median of %d runs; delivery = first byte written to last byte at the printer\n\n",
              repeat);
  std::printf("| measure | portrelay | socat | ratio portrelay/socat |\n|---|---|---|---|\n");
  std::printf("| latency, 16-byte job from idle (ms) | %.1f | %.1f | %.2f |\n", ours.latencyMs,
              theirs.latencyMs, ours.latencyMs / theirs.latencyMs);
  const char* names[] = {"1 KB", "64 KB", "1 MB"};
  for (size_t i = 0; i < 3; ++i) {
    std::printf("| delivery, %s job (ms) | %.1f | %.1f | %.2f |\n", names[i], ours.deliveryMs[i],
                theirs.deliveryMs[i], ours.deliveryMs[i] / theirs.deliveryMs[i]);
  }
  for (size_t i = 0; i < 3; ++i) {
    auto rate = [&](double ms) { return kSizes[i] / 1048576.0 / (ms / 1000.0); };
    std::printf("| throughput, %s job (MB/s) | %.2f | %.2f | %.2f |\n", names[i],
                rate(ours.deliveryMs[i]), rate(theirs.deliveryMs[i]),
                rate(ours.deliveryMs[i]) / rate(theirs.deliveryMs[i]));
  }
  for (size_t i = 1; i < 3; ++i) {
    auto rate = [&](double ms) { return kSizes[i] / 1048576.0 / (ms / 1000.0); };
    std::printf(
        "| forwarding rate inside the job, %s (MB/s, first to last byte) | %.2f | %.2f | "
        "%.2f |\n",
        names[i], rate(ours.streamMs[i]), rate(theirs.streamMs[i]),
        rate(ours.streamMs[i]) / rate(theirs.streamMs[i]));
  }
  std::printf(
      "\nportrelay processor time: %.3f s over 10 s idle; %.4f s per 4 KB job "
      "(Timeout 1000 ms, including the job confirmation)\n",
      idleCpu, perJob);
  return 0;
}
